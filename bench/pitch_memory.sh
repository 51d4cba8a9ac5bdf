#!/usr/bin/env bash
# Peak memory of the pitch command against the input length. The dynamic-programming tracker:
# 1, 10 and 60 minutes of speech piped to standard input, and one hour of zeros; it reads its input
# block by block and writes frames as they are decided, so the peak must not grow with the
# length (under 50 MB for the hour at 16 kHz, under 100 MB for the hour at 48 kHz). The epoch
# tracker (-a 1) at 48 kHz over 300 s and over the real hour, piped: it keeps its working records
# beyond a few MB in scratch files (about 8 bytes of disk per sample, 1.4 GB for the hour, in the
# benchmark's temporary directory), so its peak must not grow either (under 100 MB for the hour);
# the 300 s run gives its speed. Both trackers also over an hour of 48 kHz speech as a WAV file
# named on the command line, which is read in blocks (under 100 MB each). Each line gives the
# elapsed and CPU time (user and system) and the peak.
# $1: the Release build directory.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.bash"
pitch=$build/bin/pitch/pitch

report() {  # name seconds [limit_mb]
  read -r elapsed peak_kb user sys < "$tmp/time.txt"
  frames=$(( $(stat -c %s "$tmp/out.f32") / 4 ))
  local limit_mb=${3:-50}
  awk -v n="$1" -v s="$2" -v e="$elapsed" -v u="$user" -v y="$sys" -v m="$peak_kb" -v f="$frames" \
      -v l="$limit_mb" 'BEGIN {
    printf "pitch %-7s %5d s: %7.2f s elapsed (%7.2f s CPU), %7d frames, peak memory %6d kB%s\n",
           n, s, e, u + y, f, m, (s == 3600 && m >= l * 1024) ? "  OVER " l " MB" : "" }'
}

for secs in 60 600 3600; do
  perl "$here/pitch_speech_floats.pl" "$secs" "$top"/samples/*.wav |
    /usr/bin/time -f "%e %M %U %S" -o "$tmp/time.txt" "$pitch" > "$tmp/out.f32"
  report speech "$secs"
done
head -c $((3600 * 16000 * 4)) /dev/zero | /usr/bin/time -f "%e %M %U %S" -o "$tmp/time.txt" "$pitch" > "$tmp/out.f32"
report zeros 3600

# 48 kHz: the same speech read as 48 kHz samples (three times as many per second).
perl "$here/pitch_speech_floats.pl" $((3 * 3600)) "$top"/samples/*.wav |
  /usr/bin/time -f "%e %M %U %S" -o "$tmp/time.txt" "$pitch" -s 48 > "$tmp/out.f32"
report 48k 3600 100
for secs in 300 3600; do
  perl "$here/pitch_speech_floats.pl" $((3 * secs)) "$top"/samples/*.wav |
    TMPDIR="$tmp" /usr/bin/time -f "%e %M %U %S" -o "$tmp/time.txt" "$pitch" -a 1 -s 48 > "$tmp/out.f32"
  report 48k-a1 "$secs" 100
done

# An hour of 48 kHz speech as a WAV file, named: read in blocks by both trackers.
python3 "$here/make_long_wav.py" --rate=48000 "$tmp/long.wav" 3600 "$top"/samples/wide/alsa48k_*.wav
for algorithm in 0 1; do
  TMPDIR="$tmp" /usr/bin/time -f "%e %M %U %S" -o "$tmp/time.txt" "$pitch" -a "$algorithm" "$tmp/long.wav" \
    > "$tmp/out.f32"
  report "wav-a$algorithm" 3600 100
done
