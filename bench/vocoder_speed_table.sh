#!/usr/bin/env bash
# Speed table of the vocoder programs, before and after, from one run: CPU time (user + system,
# best of five, one core) over the duration of the 60 s benchmark signal, for every encoder path
# and the decoder with and without modifications, plus the peak memory of a 60 s encode and
# decode. "before" is the programs of git revision $VELK_BENCH_BEFORE (default: the merge base of
# HEAD and main), built once from `git archive` into BUILD_DIR/before-<commit>; "after" is the
# build directory's programs. Without git or the revision, only the "after" column is filled.
# Peak memory counts as no higher within 1 % (the resident-set figure varies by about that much).
# $1: the Release build directory.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vocoder_common.bash"

# Builds the programs of revision $1 (once) and prints their build directory; nothing on failure.
beforebuild() {
  local commit dir
  commit=$(git -C "$top" rev-parse --verify --quiet "$1^{commit}") || return 0
  dir=$build/before-$commit
  if [ ! -x "$(vocoderprogram "$dir/build" velkcoder)" ] || [ ! -x "$(vocoderprogram "$dir/build" velkdecoder)" ]; then
    rm -rf "$dir" && mkdir -p "$dir/src"
    git -C "$top" archive "$commit" | tar -x -C "$dir/src" || return 0
    cmake -S "$dir/src" -B "$dir/build" -DCMAKE_BUILD_TYPE=Release -DVELK_TESTS=OFF >/dev/null || return 0
    cmake --build "$dir/build" -j"$(nproc)" --target velkcoder velkdecoder >/dev/null || return 0
  fi
  echo "$dir/build"
}

rev=${VELK_BENCH_BEFORE:-$(git -C "$top" merge-base HEAD main 2>/dev/null || true)}
old=""
[ -n "$rev" ] && old=$(beforebuild "$rev")

longwav "$tmp/long.wav" 60
seconds=$(awk -v b="$(stat -c %s "$tmp/long.wav")" 'BEGIN { printf "%.3f", (b - 44) / 32000 }')
"$coder" "$tmp/long.wav" "$tmp/p.lf0" "$tmp/p.cc" "$tmp/p.fv" >/dev/null
frames=$(($(stat -c %s "$tmp/p.lf0") / 4))
paramsecs=$(awk -v f="$frames" 'BEGIN { printf "%.3f", f * 80 / 16000 }')
modified=(--fpitch=1.3 --fvpitch=0.8 --fdur=1.5 --fwarp=0.1 --floud=1 --fpfilt=0.5 --fdrc=0.5 --wavnorm=1)

# rtf BUILD KIND ARGS...: best-of-five real-time factor of one program of the build directory
# BUILD ("-" without BUILD); sets rtfout and kbout.
rtf() {
  local dir=$1 kind=$2
  shift 2
  rtfout="-" kbout="-"
  [ -n "$dir" ] || return 0
  if [ "$kind" = coder ]; then
    bestrun "$(vocoderprogram "$dir" velkcoder)" "$tmp/long.wav" "$tmp/o.lf0" "$tmp/o.cc" "$tmp/o.fv" "$@"
    rtfout=$(awk -v c="$cpu" -v s="$seconds" 'BEGIN { printf "%.4f", c / s }')
  else
    bestrun "$(vocoderprogram "$dir" velkdecoder)" "$tmp/p.lf0" "$tmp/p.cc" "$tmp/p.fv" "$tmp/o.wav" "$@"
    rtfout=$(awk -v c="$cpu" -v s="$paramsecs" 'BEGIN { printf "%.4f", c / s }')
  fi
  kbout=$peakkb
}

# row LABEL TARGET KIND ARGS...: one line of the table.
row() {
  local label=$1 target=$2 kind=$3 before after
  shift 3
  rtf "$old" "$kind" "$@"
  before=$rtfout
  lastbeforekb=$kbout
  rtf "$build" "$kind" "$@"
  after=$rtfout
  awk -v l="$label" -v b="$before" -v a="$after" -v t="$target" 'BEGIN {
    printf "| %-34s | %9s | %9s | %8s | %-4s |\n", l, b, a, "<= " t, (a <= t + 0 ? "met" : "not") }'
  lastkb=$kbout
}

built=" (not built)"
[ -n "$old" ] && built=""
echo "vocoder speed, $seconds s of speech; before: ${rev:-none}$built, after: $build"
echo "| path                               |    before |     after |   target | met  |"
echo "|---|---|---|---|---|"
row "velkcoder default" 0.008 coder
encodekb=$lastkb encodebeforekb=$lastbeforekb
row "velkcoder --ccmeth=2" 0.05 coder --ccmeth=2
row "velkcoder --f0acc=3" 0.025 coder --f0acc=3
for meth in 0 3 4; do row "velkcoder --ccmeth=$meth" 0.01 coder --ccmeth=$meth; done
row "velkdecoder default" 0.002 decoder
decodekb=$lastkb decodebeforekb=$lastbeforekb
row "velkdecoder every modification" 0.002 decoder "${modified[@]}"
awk -v e="$encodekb" -v d="$decodekb" -v eb="$encodebeforekb" -v db="$decodebeforekb" 'BEGIN {
  verdict = eb == "-" ? "no before" : (e <= 1.01 * eb && d <= 1.01 * db ? "no higher, met" : "HIGHER")
  printf "peak memory, 60 s encode / decode: before %s / %s kB, after %d / %d kB (%s)\n", eb, db, e, d, verdict }'
