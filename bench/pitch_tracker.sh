#!/usr/bin/env bash
# Speed and peak memory of the pitch command (dynamic-programming tracker) on
# 10 s and 600 s of speech, and the memory added per extra input sample: the
# tracker reads its input block by block, so the growth is close to 0
# (bench/pitch_memory.sh measures the peak for an hour of input).
# $1: the Release build directory.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.bash"
pitch=$build/bin/pitch/pitch

declare -A peak
for secs in 10 600; do
  perl "$here/pitch_speech_floats.pl" "$secs" "$top"/samples/*.wav > "$tmp/in.f32"
  /usr/bin/time -f "%e %U %S %M" -o "$tmp/time.txt" "$pitch" "$tmp/in.f32" > "$tmp/out.f32"
  read -r elapsed user sys peak_kb < "$tmp/time.txt"
  peak[$secs]=$peak_kb
  frames=$(( $(stat -c %s "$tmp/out.f32") / 4 ))
  awk -v s="$secs" -v e="$elapsed" -v u="$user" -v y="$sys" -v m="$peak_kb" -v f="$frames" 'BEGIN {
    printf "pitch %4d s of speech: %6.2f ms elapsed (%5.2f ms CPU) per second of speech, %d frames, peak memory %d kB\n",
           s, 1000 * e / s, 1000 * (u + y) / s, f, m }'
done
awk -v a="${peak[10]}" -v b="${peak[600]}" 'BEGIN {
  printf "pitch memory growth 10 s -> 600 s: %.1f bytes per extra input sample\n", (b - a) * 1024 / (590 * 16000) }'
