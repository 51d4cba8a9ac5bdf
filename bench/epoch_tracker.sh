#!/usr/bin/env bash
# Speed and peak memory of the pitch command with the epoch tracker (-a 1) on
# 10 s and 600 s of speech, as floats and as a 16-bit WAV file, and the memory
# added per extra input sample (the command's sample list is 16 bytes a sample).
# $1: the Release build directory.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.bash"
pitch=$build/bin/pitch/pitch

# 16-bit mono WAV file of the float samples in $1, written to $2.
floats_to_wav() {
  perl -e 'local $/; my $f = <STDIN>; my @x = unpack("f<*", $f);
           my $d = pack("s<*", map { $_ > 32767 ? 32767 : $_ < -32768 ? -32768 : int($_) } @x);
           print "RIFF", pack("V", 36 + length $d), "WAVEfmt ", pack("VvvVVvv", 16, 1, 1, 16000, 32000, 2, 16),
                 "data", pack("V", length $d), $d;' < "$1" > "$2"
}

declare -A peak
for secs in 10 600; do
  perl "$here/pitch_speech_floats.pl" "$secs" "$top"/samples/*.wav > "$tmp/in.f32"
  floats_to_wav "$tmp/in.f32" "$tmp/in.wav"
  for input in in.f32 in.wav; do
    /usr/bin/time -f "%e %U %S %M" -o "$tmp/time.txt" "$pitch" -a 1 "$tmp/$input" > "$tmp/out.f32"
    read -r elapsed user sys peak_kb < "$tmp/time.txt"
    [ "$input" = in.f32 ] && peak[$secs]=$peak_kb
    frames=$(( $(stat -c %s "$tmp/out.f32") / 4 ))
    awk -v s="$secs" -v i="$input" -v e="$elapsed" -v u="$user" -v y="$sys" -v m="$peak_kb" -v f="$frames" 'BEGIN {
      printf "pitch -a 1 %4d s of speech (%s): %6.2f ms elapsed (%5.2f ms CPU) per second of speech, %d frames, peak memory %d kB\n",
             s, i, 1000 * e / s, 1000 * (u + y) / s, f, m }'
  done
done
awk -v a="${peak[10]}" -v b="${peak[600]}" 'BEGIN {
  printf "pitch -a 1 memory growth 10 s -> 600 s: %.1f bytes per extra input sample\n", (b - a) * 1024 / (590 * 16000) }'
