#!/usr/bin/env bash
# Peak resident memory of one velkcorpus item against its length (1, 10 and 60 minutes at 16 and
# 48 kHz): `velkcorpus encode` of a folder holding one long WAV file, then `velkcorpus decode` of
# its set, then `velkcorpus features` of the folder with the default features and with the
# cepstra besides (`features+cc`), each a single job. BEFORE_BUILD names another build tree (say, one from before the
# items were read in blocks) to measure beside it; its outputs must equal these byte for byte.
# The peak must not grow with the length (under 100 MB for the hour at 48 kHz).
# $1: the Release build directory. $2 (optional): the lengths in seconds, "60 600 3600" by default.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.bash"
lengths=${2:-60 600 3600}
python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' "$build/CMakeCache.txt")

# measure NAME BUILD LABEL SRC OUT COMMAND [WORD...]: one velkcorpus run with the package of BUILD;
# the outputs' hash goes to $tmp/sum.NAME.LABEL.
measure() {
  local name=$1 tree=$2 label=$3 src=$4 out=$5 user sys kb
  shift 5
  rm -rf "$out"
  PYTHONPATH="$tree/python" /usr/bin/time -f "%U %S %M" -o "$tmp/time.txt" "${python:-python3}" -m velk.corpus \
    "$1" "$src" "$out" "${@:2}" --jobs=1 >/dev/null 2>&1 || true
  read -r user sys kb < <(tail -n 1 "$tmp/time.txt")
  awk -v n="$name" -v c="$label" -v r="$rate" -v s="$secs" -v u="$user" -v y="$sys" -v m="$kb" 'BEGIN {
    printf "velkcorpus %-11s %-6s %2d kHz %5d s: peak memory %8d kB, CPU %8.2f s%s\n",
           c, n, r / 1000, s, m, u + y, (n == "after" && s == 3600 && m >= 100 * 1024) ? "  OVER 100 MB" : "" }'
  find "$out" -name 'long.*' ! -name '*.json' -type f | sort | xargs cat | sha256sum | cut -c1-16 \
    > "$tmp/sum.$name.$label"
}

for rate in 16000 48000; do
  if [ "$rate" = 16000 ]; then inputs=("$top"/samples/*.wav); else inputs=("$top"/samples/wide/alsa48k_*.wav); fi
  for secs in $lengths; do
    mkdir -p "$tmp/src"
    python3 "$here/make_long_wav.py" --rate="$rate" "$tmp/src/long.wav" "$secs" "${inputs[@]}"
    for who in after ${BEFORE_BUILD:+before}; do
      tree=$build
      [ "$who" = before ] && tree=$BEFORE_BUILD
      measure "$who" "$tree" encode "$tmp/src" "$tmp/set.$who" encode
      measure "$who" "$tree" decode "$tmp/set.$who" "$tmp/wav.$who" decode
      measure "$who" "$tree" features "$tmp/src" "$tmp/feat.$who" features
      measure "$who" "$tree" features+cc "$tmp/src" "$tmp/featcc.$who" features \
        --features=f0,vuv,voicing,lf0,energy,cc
    done
    for command in encode decode features features+cc; do
      if [ -f "$tmp/sum.before.$command" ] && ! cmp -s "$tmp/sum.after.$command" "$tmp/sum.before.$command"; then
        echo "  the $command outputs differ from the other build's"
      fi
    done
    rm -rf "$tmp"/src "$tmp"/set.* "$tmp"/wav.* "$tmp"/feat.* "$tmp"/featcc.* "$tmp"/sum.*
  done
done
