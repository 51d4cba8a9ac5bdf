# Common set-up of the vocoder benchmark scripts, sourced with the script's arguments once `here`
# (the bench directory) is set: that of every script (common.bash), then coder and decoder, the
# two programs of the build; defines vocoderprogram, longwav and bestrun.
. "$here/common.bash"

# vocoderprogram BUILD NAME: the path of the vocoder program NAME (velkcoder, velkdecoder) in the
# build directory BUILD: bin/NAME/NAME, or vocoder/NAME in the build of a revision from before the
# programs had folders of their own (a "before" build of the speed table, or any branch's build).
vocoderprogram() {
  if [ -x "$1/vocoder/$2" ] && [ ! -x "$1/bin/$2/$2" ]; then
    echo "$1/vocoder/$2"
  else
    echo "$1/bin/$2/$2"
  fi
}
coder=$(vocoderprogram "$build" velkcoder)
decoder=$(vocoderprogram "$build" velkdecoder)

# longwav OUT SECONDS: the bundled samples one after the other, repeated until at least SECONDS
# seconds are reached, as one 44-byte-header WAV file.
longwav() {
  python3 "$here/make_long_wav.py" "$1" "$2" "$top"/samples/*.wav
}

# bestrun COMMAND...: runs the command five times with its output discarded; sets cpu to the
# smallest CPU time (user + system, seconds) and peakkb to the largest resident set (kB).
bestrun() {
  local run user sys kb now
  cpu="" peakkb=0
  for run in 1 2 3 4 5; do
    /usr/bin/time -f "%U %S %M" -o "$tmp/time.txt" "$@" >/dev/null
    read -r user sys kb < "$tmp/time.txt"
    now=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
    if [ -z "$cpu" ] || awk -v a="$now" -v b="$cpu" 'BEGIN { exit !(a < b) }'; then cpu=$now; fi
    if [ "$kb" -gt "$peakkb" ]; then peakkb=$kb; fi
  done
}
