# Common set-up of the vocoder benchmark scripts, sourced with the script's arguments once `here`
# (the bench directory) is set: that of every script (common.bash), then coder and decoder, the
# two programs of the build; defines longwav and bestrun.
. "$here/common.bash"
coder=$build/vocoder/velkcoder
decoder=$build/vocoder/velkdecoder

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
