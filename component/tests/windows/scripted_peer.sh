#!/usr/bin/env bash
# A scripted terminal: runs on the master side of a pseudo-terminal (socat
# connects its standard input and output there) and follows a script, one
# step a line:
#
#   expect HEX...   read exactly these bytes; any other byte fails the script
#   send HEX...     write these bytes in one write
#   pace MS HEX...  write them one byte at a time, MS milliseconds apart (a
#                   reply paced at line rate)
#   burst MS HEX... / HEX...
#                   write the bytes before the slash, wait MS milliseconds,
#                   write the rest (a reply forwarded in two bursts)
#   pause MS        wait MS milliseconds
#   hold            keep the line open until stopped
#   hangup          close the line
#
# Hex may be split by blanks; "#" starts a comment. Progress and the outcome
# go to RESULT: "ok" once every step is done, "FAIL ..." at the first
# mismatch or when the requester goes away mid-script.
#   scripted_peer.sh SCRIPT RESULT
set -u
script=$1 result=$2
: >"$result"
# A descriptor that never has data: `read -t` on it is a sleep without a fork.
fifo=$(mktemp -u "${TMPDIR:-/tmp}/mobi-peer.XXXXXX")
mkfifo "$fifo" && exec 9<>"$fifo" && rm -f "$fifo"
pause_ms() { read -r -t "$(printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)))" -u 9 _ || true; }
fail() { echo "FAIL line $n: $*" >>"$result"; exit 1; }

# Reads exactly N bytes from the line as lower-case hex.
read_hex() {
  local want=$1 got="" byte
  while [ ${#got} -lt $((want * 2)) ]; do
    # One byte at a time, so that nothing after the request is consumed.
    IFS= read -r -d '' -n 1 byte || return 1
    if [ -z "$byte" ]; then got+="00"; else got+=$(printf '%02x' "'$byte"); fi
  done
  printf '%s' "$got"
}

send_hex() {
  local hex=$1 out="" i
  for ((i = 0; i < ${#hex}; i += 2)); do out+="\\x${hex:i:2}"; done
  printf '%b' "$out"
}

export LC_ALL=C
n=0
exec 8<"$script"
while IFS= read -r -u 8 line || [ -n "$line" ]; do
  n=$((n + 1))
  line=${line%%#*}
  read -r verb rest <<<"$line"
  [ -z "${verb:-}" ] && continue
  interval=0
  if [ "$verb" = pace ] || [ "$verb" = burst ]; then read -r interval rest <<<"$rest"; fi
  hex=$(tr -d ' ' <<<"$rest" | tr 'A-F' 'a-f')
  case $verb in
    expect)
      got=$(read_hex $((${#hex} / 2))) || fail "the line closed while expecting $hex"
      [ "$got" = "$hex" ] || fail "expected $hex, got $got"
      echo "line $n: got $got" >>"$result" ;;
    send) send_hex "$hex" ;;
    pace)
      for ((i = 0; i < ${#hex}; i += 2)); do send_hex "${hex:i:2}"; pause_ms "$interval"; done ;;
    burst)
      first=${hex%%/*} second=${hex#*/}
      send_hex "$first"; pause_ms "$interval"; send_hex "$second" ;;
    pause) pause_ms "$rest" ;;
    hold) echo ok >>"$result"; while :; do pause_ms 60000; done ;;
    hangup) echo ok >>"$result"; exit 0 ;;
    *) fail "unknown step $verb" ;;
  esac
done
echo ok >>"$result"
