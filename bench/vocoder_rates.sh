#!/usr/bin/env bash
# The vocoder at the rates of real wide-band recordings (samples/wide): copy-synthesis distances
# (full-band mel-cepstral distortion, log-spectral distance above 8 kHz) of the native path and of
# the 16 kHz path, F0 agreement with the 16 kHz analysis, and the CPU time and memory at 48 kHz
# against 16 kHz; see vocoder_rates.py. Run by the interpreter the Python module is built for
# (it needs numpy).
# $1: the Release build directory whose programs are measured (any build of any branch).
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vocoder_common.bash"

python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
"${python:-python3}" "$here/vocoder_rates.py" "$coder" "$decoder" "$top/samples/wide"
