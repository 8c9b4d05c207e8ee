#!/usr/bin/env bash
# Debian's gammu and smstools' smsd against mobi-atmodem on a pseudo-terminal,
# each with its own configuration in a fresh folder, every client run bounded
# by timeout, the simulator and smsd stopped at the end.
#
#   third_party.sh MOBI_ATMODEM WORK_DIR gammu|smsd
set -euo pipefail

atmodem=$1
work=$2
client=$3
limit=60 # seconds for any one client run

rm -rf "$work"
mkdir -p "$work"
modem_pid=""
smsd_pid=""

fail() {
  printf 'FAIL: %s\n' "$*" >&2
  for f in "$work"/*.log "$work"/*.out; do
    [ -f "$f" ] || continue
    printf -- '--- %s (last lines)\n' "$f" >&2
    tail -n 25 "$f" >&2
  done
  exit 1
}

stop() {
  if [ -n "$smsd_pid" ]; then kill "$smsd_pid" 2>/dev/null || true; wait "$smsd_pid" 2>/dev/null || true; fi
  if [ -n "$modem_pid" ]; then kill "$modem_pid" 2>/dev/null || true; wait "$modem_pid" 2>/dev/null || true; fi
}
trap stop EXIT

# Waits (bounded) until the command succeeds.
wait_for() {
  local what=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || fail "no $what within $limit s"
    sleep 0.2
  done
}

# Starts the simulator; its device is $work/modem.
start_modem() {
  "$atmodem" --verbose --link "$work/modem" --inbox-fifo "$work/inbox" \
    --sent-log "$work/sent.txt" "$@" >"$work/atmodem.out" 2>"$work/atmodem.log" &
  modem_pid=$!
  wait_for "simulator device" test -e "$work/inbox"
}

sent_count() { [ -f "$work/sent.txt" ] && wc -l <"$work/sent.txt" || echo 0; }

long_text=""
for i in $(seq 1 40); do long_text+="part $i of a long message, "; done # 1052 characters

run_gammu() {
  command -v gammu >/dev/null || fail "gammu is not installed (./run test installs it)"
  printf '[gammu]\ndevice = %s\nconnection = at\n' "$work/modem" >"$work/gammurc"
  g() { timeout "$limit" gammu -c "$work/gammurc" "$@" >"$work/gammu.out" 2>&1 || fail "gammu $1 failed"; }
  start_modem --time "26/12/08,19:10:00+32" --inbox "+8613912345678:stored for gammu"

  g identify
  grep -q '^Manufacturer *: Mobi' "$work/gammu.out" || fail "identify: no manufacturer"
  grep -q '^IMEI *: 861234567890123' "$work/gammu.out" || fail "identify: no IMEI"
  g monitor 1
  grep -q '^Signal strength *: -71 dBm' "$work/gammu.out" || fail "monitor: no signal level"

  g sendsms TEXT 10086 -text "hello from gammu"
  grep -qx $'10086\thello from gammu' "$work/sent.txt" || fail "sendsms: not sent as given"
  g sendsms TEXT 10086 -unicode -textutf8 "你好, gammu"
  grep -qx $'10086\t你好, gammu' "$work/sent.txt" || fail "sendsms -unicode: not sent as given"
  grep -q 'sent message 2 to 10086 (UCS2)' "$work/atmodem.log" || fail "sendsms -unicode: not UCS2"
  local before
  before=$(sent_count)
  g sendsms TEXT 10086 -len ${#long_text} -text "$long_text"
  local parts=$(($(sent_count) - before))
  [ "$parts" -eq 7 ] || fail "long sendsms: $parts parts instead of 7"
  [ "$(tail -n "$parts" "$work/sent.txt" | cut -f2 | tr -d '\n')" = "$long_text" ] ||
    fail "long sendsms: the parts do not make the text"
  grep -q 'part 7 of 7' "$work/atmodem.log" || fail "long sendsms: not concatenated"

  # One stored message, one long one arriving while the modem runs.
  printf '+8613800000001:%s\n' "$long_text" >"$work/inbox"
  wait_for "long message in storage" grep -q 'received message from +8613800000001' "$work/atmodem.log"
  g getallsms
  grep -q 'stored for gammu' "$work/gammu.out" || fail "getallsms: stored message missing"
  grep -q 'Remote number *: "+8613912345678"' "$work/gammu.out" || fail "getallsms: no sender"
  grep -q 'part 7 of 7' "$work/gammu.out" || fail "getallsms: long message parts missing"
  grep -q '^8 SMS parts in 8 SMS sequences' "$work/gammu.out" || fail "getallsms: not 8 parts"
  g deleteallsms 1
  g getallsms
  grep -q 'stored for gammu' "$work/gammu.out" && fail "deleteallsms: a message is left"
  echo "gammu: identify, monitor, sendsms (text, unicode, 7 parts), getallsms, deleteallsms passed"
}

run_smsd() {
  command -v smsd >/dev/null || fail "smsd is not installed (./run test installs it)"
  local d=$work/spool
  mkdir -p "$d"/{outgoing,checked,failed,incoming,sent}
  cat >"$work/smsd.conf" <<EOF
devices = GSM1
outgoing = $d/outgoing
checked = $d/checked
failed = $d/failed
incoming = $d/incoming
sent = $d/sent
logfile = $work/smsd.log
infofile = $work/smsd.working
pidfile = $work/smsd.pid
loglevel = 7
delaytime = 1
delaytime_mainprocess = 1

[GSM1]
device = $work/modem
incoming = yes
baudrate = 115200
EOF
  start_modem --time "26/12/08,19:10:00+32" --inbox "+8613912345678:stored for smsd"
  printf 'To: 8613900000002\n\nqueued for smsd\n' >"$d/outgoing/one"
  timeout "$limit" smsd -c "$work/smsd.conf" -t >"$work/smsd.out" 2>&1 &
  smsd_pid=$!
  wait_for "sent message" test -f "$d/sent/one"
  wait_for "received message" sh -c "ls '$d/incoming' | grep -q ."
  grep -qx $'+8613900000002\tqueued for smsd' "$work/sent.txt" || fail "smsd: not sent as queued"
  grep -q '^From: 8613912345678' "$d"/incoming/* || fail "smsd: no sender in the received file"
  grep -qx 'stored for smsd' "$d"/incoming/* || fail "smsd: received text wrong"
  [ -z "$(ls "$d/failed")" ] || fail "smsd: something landed in failed/"
  echo "smsd: one queued message sent, one stored message received"
}

case "$client" in
  gammu) run_gammu ;;
  smsd) run_smsd ;;
  *) fail "unknown client $client" ;;
esac
