#!/usr/bin/env bash
# Speed and peak memory of velkdecoder on 60 s of parameters (the bundled samples concatenated
# until at least 60 s long, then encoded with default options). The real-time factor is the CPU
# time (user + system, best of five runs, one core) over the duration of the parameters; it must
# be at most 0.004. Measured with default options and with every modification switched on.
# $1: the Release build directory.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vocoder_common.bash"

longwav "$tmp/long.wav" 60
"$coder" "$tmp/long.wav" "$tmp/long.lf0" "$tmp/long.cc" "$tmp/long.fv" >/dev/null
frames=$(( $(stat -c %s "$tmp/long.lf0") / 4 ))
seconds=$(awk -v f="$frames" 'BEGIN { printf "%.3f", f * 80 / 16000 }')

measure() {
  local label=$1
  shift
  bestrun "$decoder" "$tmp/long.lf0" "$tmp/long.cc" "$tmp/long.fv" "$tmp/out.wav" "$@"
  local outsecs
  outsecs=$(awk -v b="$(stat -c %s "$tmp/out.wav")" 'BEGIN { printf "%.2f", (b - 44) / 32000 }')
  awk -v l="$label" -v c="$cpu" -v s="$seconds" -v o="$outsecs" -v m="$peakkb" 'BEGIN {
    rtf = c / s
    printf "velkdecoder %-14s %.2f s of parameters -> %.2f s of speech: CPU %.2f s, real-time factor %.4f (%s, at most 0.004), peak memory %d kB\n",
           l, s, o, c, rtf, rtf <= 0.004 ? "ok" : "TOO SLOW", m }'
}

measure "default"
measure "modified" --fpitch=1.3 --fvpitch=0.8 --fdur=1.5 --fwarp=0.1 --floud=1 --fpfilt=0.5 --fdrc=0.5 --wavnorm=1
