#!/usr/bin/env bash
# Speed and peak memory of velkcoder on at least 60 s of speech (the bundled samples concatenated
# until 60 s are reached). The real-time factor is the CPU time (user + system, best of five runs,
# one core) over the duration of the speech; with default options (ccmeth 1, order 39, alpha 0.42,
# maximum voiced frequency requested) it must be at most 0.02. Every envelope method is measured.
# $1: the Release build directory.
set -euo pipefail
build=${1:?usage: vocoder_encoder_speed.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
coder=$build/vocoder/velkcoder
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
seconds=$(awk -v b="$(stat -c %s "$tmp/long.wav")" 'BEGIN { printf "%.3f", (b - 44) / 32000 }')

measure() {
  local meth=$1
  local best="" peak=0
  for run in 1 2 3 4 5; do
    /usr/bin/time -f "%U %S %M" -o "$tmp/time.txt" "$coder" "$tmp/long.wav" "$tmp/long.lf0" "$tmp/long.cc" \
      "$tmp/long.fv" --ccmeth="$meth" >/dev/null
    read -r user sys kb < "$tmp/time.txt"
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
    if [ -z "$best" ] || awk -v a="$cpu" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$cpu; fi
    if [ "$kb" -gt "$peak" ]; then peak=$kb; fi
  done
  local limit=""
  [ "$meth" = 1 ] && limit=" (default options, at most 0.02)"
  awk -v m="$meth" -v c="$best" -v s="$seconds" -v k="$peak" -v l="$limit" 'BEGIN {
    rtf = c / s
    printf "velkcoder --ccmeth=%s  %.2f s of speech: CPU %.2f s, real-time factor %.4f%s, peak memory %d kB\n",
           m, s, c, rtf, l, k }'
}

for meth in 0 1 2 3 4; do
  measure "$meth"
done
