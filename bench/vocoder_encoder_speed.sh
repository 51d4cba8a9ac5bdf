#!/usr/bin/env bash
# Speed and peak memory of velkcoder on at least 60 s of speech (the bundled samples concatenated
# until 60 s are reached). The real-time factor is the CPU time (user + system, best of five runs,
# one core) over the duration of the speech; with default options (ccmeth 1, order 39, alpha 0.42,
# maximum voiced frequency requested) it must be at most 0.02. Every envelope method is measured.
# $1: the Release build directory.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vocoder_common.bash"

longwav "$tmp/long.wav" 60
seconds=$(awk -v b="$(stat -c %s "$tmp/long.wav")" 'BEGIN { printf "%.3f", (b - 44) / 32000 }')

for meth in 0 1 2 3 4; do
  bestrun "$coder" "$tmp/long.wav" "$tmp/long.lf0" "$tmp/long.cc" "$tmp/long.fv" --ccmeth="$meth"
  limit=""
  [ "$meth" = 1 ] && limit=" (default options, at most 0.02)"
  awk -v m="$meth" -v c="$cpu" -v s="$seconds" -v k="$peakkb" -v l="$limit" 'BEGIN {
    rtf = c / s
    printf "velkcoder --ccmeth=%s  %.2f s of speech: CPU %.2f s, real-time factor %.4f%s, peak memory %d kB\n",
           m, s, c, rtf, l, k }'
done
