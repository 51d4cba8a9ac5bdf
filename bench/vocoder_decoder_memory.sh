#!/usr/bin/env bash
# Peak resident memory of velkdecoder against the length of the streams (1, 10 and 60 minutes at
# 16 and 48 kHz), and CPU time per second of audio, for the streamed path (the streams in regular
# files, synthesised block by block) and the whole-set path (the log-F0 stream through a pipe,
# which takes it). The streams are a bundled sample's, encoded at the rate and repeated to the
# length. BEFORE_DECODER names another build's velkdecoder (say, one from before the streamed
# path) to measure beside it, with the streams in regular files. The streamed peak must not grow
# with the length (under 100 MB for the hour at 48 kHz).
# $1: the Release build directory. $2 (optional): the lengths in seconds, "60 600 3600" by default.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vocoder_common.bash"
lengths=${2:-60 600 3600}

# streamsof RATE WAV: the WAV file's streams at RATE in $tmp/base.{f0,cc,fv} (no settings record,
# so that the repeated streams are read without one).
streamsof() {
  "$coder" "$2" "$tmp/base.f0" "$tmp/base.cc" "$tmp/base.fv" --fs="$1" --record=0 >/dev/null
}

# repeated SECONDS LFRAME: base streams repeated to SECONDS of frames, as $tmp/long.{f0,cc,fv}.
repeated() {
  local frames basef width ext reps i
  frames=$(( $1 * rate / $2 ))
  basef=$(( $(stat -c %s "$tmp/base.f0") / 4 ))
  width=$(( $(stat -c %s "$tmp/base.cc") / 4 / basef ))
  reps=$(( (frames + basef - 1) / basef ))
  for ext in f0 cc fv; do
    : > "$tmp/long.$ext"
    for ((i = 0; i < reps; i++)); do cat "$tmp/base.$ext"; done > "$tmp/rep.$ext"
  done
  head -c $(( frames * 4 )) "$tmp/rep.f0" > "$tmp/long.f0"
  head -c $(( frames * 4 * width )) "$tmp/rep.cc" > "$tmp/long.cc"
  head -c $(( frames * 4 )) "$tmp/rep.fv" > "$tmp/long.fv"
  rm -f "$tmp"/rep.*
}

# measure NAME PROGRAM F0: one decode of the long streams, the log-F0 stream from F0: a file, or
# /dev/stdin for the stream through a pipe.
measure() {
  local user sys kb
  if [ "$3" = /dev/stdin ]; then
    cat "$tmp/long.f0" | /usr/bin/time -f "%U %S %M" -o "$tmp/time.txt" "$2" /dev/stdin "$tmp/long.cc" \
      "$tmp/long.fv" "$tmp/out.wav" --fs="$rate" >/dev/null || true
  else
    /usr/bin/time -f "%U %S %M" -o "$tmp/time.txt" "$2" "$3" "$tmp/long.cc" "$tmp/long.fv" "$tmp/out.wav" \
      --fs="$rate" >/dev/null || true
  fi
  read -r user sys kb < <(tail -n 1 "$tmp/time.txt")
  awk -v n="$1" -v r="$rate" -v s="$secs" -v u="$user" -v y="$sys" -v m="$kb" 'BEGIN {
    printf "velkdecoder %-9s %2d kHz %5d s: peak memory %8d kB, CPU %7.2f s, %6.2f ms per second of audio%s\n",
           n, r / 1000, s, m, u + y, 1000 * (u + y) / s,
           (n == "streamed" && s == 3600 && m >= 100 * 1024) ? "  OVER 100 MB" : "" }'
  sha256sum "$tmp/out.wav" | cut -c1-16 > "$tmp/sum.$1"
  rm -f "$tmp/out.wav"
}

for rate in 16000 48000; do
  if [ "$rate" = 16000 ]; then wav=$top/samples/en_vm-deleted.wav; else wav=$top/samples/wide/alsa48k_Front_Center.wav; fi
  streamsof "$rate" "$wav"
  lframe=$(( (rate + 99) / 200 ))
  for secs in $lengths; do
    repeated "$secs" "$lframe"
    measure streamed "$decoder" "$tmp/long.f0"
    measure whole-set "$decoder" /dev/stdin
    if [ -n "${BEFORE_DECODER:-}" ]; then measure before "$BEFORE_DECODER" "$tmp/long.f0"; fi
    for other in whole-set before; do
      if [ -e "$tmp/sum.$other" ] && ! cmp -s "$tmp/sum.streamed" "$tmp/sum.$other"; then
        echo "velkdecoder: the streamed output differs from the $other output at $rate Hz, $secs s"
      fi
    done
    rm -f "$tmp"/sum.*
  done
done
