#!/usr/bin/env bash
# Peak memory of the pitch command (dynamic-programming tracker) against the
# input length: 60 s and one hour of speech piped to standard input, and one
# hour of zeros. The tracker reads its input block by block and writes frames
# as they are decided, so the peak must not grow with the length (under 50 MB
# for the hour at 16 kHz, under 100 MB for the hour at 48 kHz). The epoch
# tracker (-a 1) holds the whole signal: at 48 kHz its peak over 60 and 300 s
# gives its growth per input sample and what an hour would need (an hour at
# 48 kHz is more than the kEpochLongestInput samples it takes).
# $1: the Release build directory.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.bash"
pitch=$build/bin/pitch/pitch

report() {  # name seconds
  read -r elapsed peak_kb < "$tmp/time.txt"
  frames=$(( $(stat -c %s "$tmp/out.f32") / 4 ))
  local limit_mb=${3:-50}
  awk -v n="$1" -v s="$2" -v e="$elapsed" -v m="$peak_kb" -v f="$frames" -v l="$limit_mb" 'BEGIN {
    printf "pitch %-7s %5d s: %7.2f s elapsed, %7d frames, peak memory %6d kB%s\n",
           n, s, e, f, m, (s == 3600 && m >= l * 1024) ? "  OVER " l " MB" : "" }'
}

for secs in 60 3600; do
  perl "$here/pitch_speech_floats.pl" "$secs" "$top"/samples/*.wav |
    /usr/bin/time -f "%e %M" -o "$tmp/time.txt" "$pitch" > "$tmp/out.f32"
  report speech "$secs"
done
head -c $((3600 * 16000 * 4)) /dev/zero | /usr/bin/time -f "%e %M" -o "$tmp/time.txt" "$pitch" > "$tmp/out.f32"
report zeros 3600

# 48 kHz: the same speech read as 48 kHz samples (three times as many per second).
perl "$here/pitch_speech_floats.pl" $((3 * 3600)) "$top"/samples/*.wav |
  /usr/bin/time -f "%e %M" -o "$tmp/time.txt" "$pitch" -s 48 > "$tmp/out.f32"
report 48k 3600 100
declare -A epoch_peak
for secs in 60 300; do
  perl "$here/pitch_speech_floats.pl" $((3 * secs)) "$top"/samples/*.wav > "$tmp/in.f32"
  /usr/bin/time -f "%e %M" -o "$tmp/time.txt" "$pitch" -a 1 -s 48 "$tmp/in.f32" > "$tmp/out.f32"
  report 48k-a1 "$secs"
  read -r _ epoch_peak[$secs] < "$tmp/time.txt"
done
awk -v a="${epoch_peak[60]}" -v b="${epoch_peak[300]}" 'BEGIN {
  per = (b - a) * 1024 / (240 * 48000)
  printf "pitch -a 1 at 48 kHz: %.1f bytes per extra input sample; an hour would need about %.0f MB\n",
         per, (a * 1024 + per * (3600 - 60) * 48000) / 1048576 }'
