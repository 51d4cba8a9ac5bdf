#!/usr/bin/env bash
# Speed and peak memory of velkdecoder on 60 s of parameters (the bundled samples concatenated
# until at least 60 s long, then encoded with default options). The real-time factor is the CPU
# time (user + system, best of five runs, one core) over the duration of the parameters; it must
# be at most 0.004. Measured with default options and with every modification switched on.
# $1: the Release build directory.
set -euo pipefail
build=${1:?usage: vocoder_decoder_speed.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
coder=$build/vocoder/velkcoder
decoder=$build/vocoder/velkdecoder
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The samples one after the other, repeated until 60 s are reached, as one 44-byte-header WAV file.
python3 - "$tmp/long.wav" "$top"/samples/*.wav <<'EOF'
import struct, sys
pcm = [open(path, 'rb').read()[44:] for path in sys.argv[2:]]
data = b''
while len(data) < 60 * 16000 * 2:
    data += b''.join(pcm)
header = b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVEfmt ' + \
    struct.pack('<IHHIIHH', 16, 1, 1, 16000, 32000, 2, 16) + b'data' + struct.pack('<I', len(data))
open(sys.argv[1], 'wb').write(header + data)
EOF
"$coder" "$tmp/long.wav" "$tmp/long.lf0" "$tmp/long.cc" "$tmp/long.fv" >/dev/null
frames=$(( $(stat -c %s "$tmp/long.lf0") / 4 ))
seconds=$(awk -v f="$frames" 'BEGIN { printf "%.3f", f * 80 / 16000 }')

measure() {
  local label=$1
  shift
  local best="" peak=0
  for run in 1 2 3 4 5; do
    /usr/bin/time -f "%U %S %M" -o "$tmp/time.txt" "$decoder" "$tmp/long.lf0" "$tmp/long.cc" "$tmp/long.fv" \
      "$tmp/out.wav" "$@" >/dev/null
    read -r user sys kb < "$tmp/time.txt"
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
    if [ -z "$best" ] || awk -v a="$cpu" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$cpu; fi
    peak=$kb
  done
  local outsecs
  outsecs=$(awk -v b="$(stat -c %s "$tmp/out.wav")" 'BEGIN { printf "%.2f", (b - 44) / 32000 }')
  awk -v l="$label" -v c="$best" -v s="$seconds" -v o="$outsecs" -v m="$peak" 'BEGIN {
    rtf = c / s
    printf "velkdecoder %-14s %.2f s of parameters -> %.2f s of speech: CPU %.2f s, real-time factor %.4f (%s, at most 0.004), peak memory %d kB\n",
           l, s, o, c, rtf, rtf <= 0.004 ? "ok" : "TOO SLOW", m }'
}

measure "default" 
measure "modified" --fpitch=1.3 --fvpitch=0.8 --fdur=1.5 --fwarp=0.1 --floud=1 --fpfilt=0.5 --fdrc=0.5 --wavnorm=1
