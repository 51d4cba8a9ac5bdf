#!/usr/bin/env bash
# Peak resident memory of velkcoder against the length of the input (1, 10 and 60 minutes at 16
# and 48 kHz), and CPU time per second of audio. A regular WAV file is analysed in pieces; the
# same file through a pipe is read whole (the whole-signal path, for comparison). BEFORE_CODER
# names another build's velkcoder (say, one from before the analysis in pieces) to measure beside
# it; its streams must equal the pieces' byte for byte. The peak in pieces must not grow with the
# length (under 100 MB for the hour at 48 kHz).
# $1: the Release build directory. $2 (optional): the lengths in seconds, "60 600 3600" by default.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vocoder_common.bash"
lengths=${2:-60 600 3600}

# measure NAME PROGRAM INPUT: one analysis of the long file (INPUT: the file, or /dev/stdin for
# the file through a pipe); the streams' hash goes to $tmp/sum.NAME.
measure() {
  local user sys kb
  if [ "$3" = /dev/stdin ]; then
    cat "$tmp/long.wav" | /usr/bin/time -f "%U %S %M" -o "$tmp/time.txt" "$2" /dev/stdin "$tmp/o.lf0" "$tmp/o.cc" \
      "$tmp/o.fv" >/dev/null || true
  else
    /usr/bin/time -f "%U %S %M" -o "$tmp/time.txt" "$2" "$3" "$tmp/o.lf0" "$tmp/o.cc" "$tmp/o.fv" >/dev/null || true
  fi
  read -r user sys kb < <(tail -n 1 "$tmp/time.txt")
  awk -v n="$1" -v r="$rate" -v s="$secs" -v u="$user" -v y="$sys" -v m="$kb" 'BEGIN {
    printf "velkcoder %-7s %2d kHz %5d s: peak memory %8d kB, CPU %8.2f s, %6.2f ms per second of audio%s\n",
           n, r / 1000, s, m, u + y, 1000 * (u + y) / s,
           (n == "pieces" && s == 3600 && m >= 100 * 1024) ? "  OVER 100 MB" : "" }'
  cat "$tmp/o.lf0" "$tmp/o.cc" "$tmp/o.fv" | sha256sum | cut -c1-16 > "$tmp/sum.$1"
  rm -f "$tmp"/o.*
}

for rate in 16000 48000; do
  if [ "$rate" = 16000 ]; then inputs=("$top"/samples/*.wav); else inputs=("$top"/samples/wide/alsa48k_*.wav); fi
  for secs in $lengths; do
    python3 "$here/make_long_wav.py" --rate="$rate" "$tmp/long.wav" "$secs" "${inputs[@]}"
    measure pieces "$coder" "$tmp/long.wav"
    measure whole "$coder" /dev/stdin
    if [ -n "${BEFORE_CODER:-}" ]; then
      measure before "$BEFORE_CODER" "$tmp/long.wav"
    fi
    for other in whole before; do
      if [ -f "$tmp/sum.$other" ] && ! cmp -s "$tmp/sum.pieces" "$tmp/sum.$other"; then
        echo "  the streams in pieces differ from the $other path's"
      fi
    done
    rm -f "$tmp"/sum.* "$tmp/long.wav"
  done
done
