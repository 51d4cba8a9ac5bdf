#!/usr/bin/env bash
# Peak memory of the pitch command (dynamic-programming tracker) against the
# input length: 60 s and one hour of speech piped to standard input, and one
# hour of zeros. The tracker reads its input block by block and writes frames
# as they are decided, so the peak must not grow with the length (under 50 MB
# for the hour).
# $1: the Release build directory.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.bash"
pitch=$build/bin/pitch/pitch

report() {  # name seconds
  read -r elapsed peak_kb < "$tmp/time.txt"
  frames=$(( $(stat -c %s "$tmp/out.f32") / 4 ))
  awk -v n="$1" -v s="$2" -v e="$elapsed" -v m="$peak_kb" -v f="$frames" 'BEGIN {
    printf "pitch %-7s %5d s: %7.2f s elapsed, %7d frames, peak memory %6d kB%s\n",
           n, s, e, f, m, (s == 3600 && m >= 50 * 1024) ? "  OVER 50 MB" : "" }'
}

for secs in 60 3600; do
  perl "$here/pitch_speech_floats.pl" "$secs" "$top"/samples/*.wav |
    /usr/bin/time -f "%e %M" -o "$tmp/time.txt" "$pitch" > "$tmp/out.f32"
  report speech "$secs"
done
head -c $((3600 * 16000 * 4)) /dev/zero | /usr/bin/time -f "%e %M" -o "$tmp/time.txt" "$pitch" > "$tmp/out.f32"
report zeros 3600
