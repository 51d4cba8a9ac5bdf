#!/usr/bin/env bash
# Copy synthesis of every bundled sample: encode and decode with default options, then analyse
# the output again and compare it with the input, frame by frame.
#  - F0: share of the frames voiced in both whose F0 agrees within 5 % (at least 95 % required).
#  - Mel-cepstral distortion over the same frames, from the unadapted cepstra (--morvscale=0):
#    MCD = 10/ln10 * sqrt(2 * sum_{j>=1} (c_j - c'_j)^2) dB, averaged.
# Synthesis frame k is centred one shift later than analysis frame k, so output frame k + 1 is
# compared with input frame k.
# $1: the Release build directory.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vocoder_common.bash"

for wav in "$top"/samples/*.wav; do
  name=$(basename "$wav" .wav)
  "$coder" "$wav" "$tmp/$name.lf0" "$tmp/$name.cc" "$tmp/$name.fv" >/dev/null
  "$decoder" "$tmp/$name.lf0" "$tmp/$name.cc" "$tmp/$name.fv" "$tmp/$name.out.wav" >/dev/null
  "$coder" "$wav" "$tmp/$name.in.lf0" "$tmp/$name.in.cc" --morvscale=0 >/dev/null
  "$coder" "$tmp/$name.out.wav" "$tmp/$name.out.lf0" "$tmp/$name.out.cc" --morvscale=0 >/dev/null
done

python3 - "$tmp" "$top"/samples/*.wav <<'EOF'
import math, os, struct, sys

def floats(path):
    data = open(path, 'rb').read()
    return struct.unpack('<%df' % (len(data) // 4), data)

def compare(stem):
    f0in, f0out = floats(stem + '.in.lf0'), floats(stem + '.out.lf0')
    ccin, ccout = floats(stem + '.in.cc'), floats(stem + '.out.cc')
    width = len(ccin) // len(f0in)
    both = close = 0
    mcd = 0.0
    for k in range(min(len(f0in), len(f0out) - 1)):
        a, b = f0in[k], f0out[k + 1]
        if a <= -1e10 or b <= -1e10:
            continue
        both += 1
        close += abs(math.exp(b - a) - 1) < 0.05
        x, y = ccin[k * width:(k + 1) * width], ccout[(k + 1) * width:(k + 2) * width]
        mcd += 10 / math.log(10) * math.sqrt(2 * sum((x[j] - y[j]) ** 2 for j in range(1, width)))
    return both, close, mcd

tmp, total = sys.argv[1], [0, 0, 0.0]
for wav in sys.argv[2:]:
    name = os.path.basename(wav)[:-4]
    both, close, mcd = compare(os.path.join(tmp, name))
    total = [total[0] + both, total[1] + close, total[2] + mcd]
    print('copy synthesis %-16s voiced in both %4d, F0 within 5 %%: %5.1f %%, mean MCD %5.2f dB'
          % (name, both, 100.0 * close / both, mcd / both))
share = 100.0 * total[1] / total[0]
print('copy synthesis all samples      voiced in both %4d, F0 within 5 %%: %5.1f %% (%s, at least 95 %%), '
      'mean MCD %5.2f dB' % (total[0], share, 'ok' if share >= 95 else 'TOO LOW', total[2] / total[0]))
EOF
