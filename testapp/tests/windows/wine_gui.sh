#!/usr/bin/env bash
# Runs a Windows program with windows under Wine (on the X display that
# x11/with_window_manager.sh provides), optionally with the simulated modem
# behind COM4 of the test prefix, where the test application's default port 4
# finds it. The prefix's wineserver is ended afterwards: it is tied to this
# display, which goes with the run.
#
#   wine_gui.sh WINE_RUN BITS [--modem MOBI_ATMODEM] [--expect-stop TEXT] PROGRAM [ARGS...]
#
# --modem: afterwards the modem must have sent the test window's message.
# --expect-stop: the program must stop (not pass) and Wine's log must show
# TEXT, which the program writes on standard error as it stops.
set -euo pipefail
wine_run=$1 bits=$2
shift 2
atmodem='' expect=''
while [ $# -gt 0 ]; do
  case $1 in
    --modem) atmodem=$2; shift 2 ;;
    --expect-stop) expect=$2; shift 2 ;;
    *) break ;;
  esac
done

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../../tools/wine/common.sh
. "$here/../../../tools/wine/common.sh"
prefix=$(mobi_existing_prefix wine_gui)
log=$prefix.log

work=$(mktemp -d)
modem_pid=''
cleanup() {
  if [ -n "$modem_pid" ]; then kill "$modem_pid" 2>/dev/null || true; wait "$modem_pid" 2>/dev/null || true; fi
  rm -f "$prefix/dosdevices/com4"
  "$wine_run" "$bits" --stop || true
  rm -rf "$work"
}
mobi_at_exit cleanup

if [ -n "$atmodem" ]; then
  mkfifo "$work/out"
  "$atmodem" --time 26/12/08,19:10:00+32 --inbox "+8613912345678:你好, 世界" \
    --sent-log "$work/sent" >"$work/out" 2>"$work/modem.log" &
  modem_pid=$!
  exec 3<"$work/out"
  if ! read -r -t 10 device <&3; then
    echo "the simulated modem did not start:" >&2; cat "$work/modem.log" >&2; exit 1
  fi
  ln -sfn "$device" "$prefix/dosdevices/com4"
fi

# A wineserver left from before is tied to another display (or none).
"$wine_run" "$bits" --stop
# Chinese characters in Arial come from a Chinese font, as on Windows (font
# linking), when one is installed.
"$wine_run" "$bits" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
  /v Arial /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null
log_start=$(stat -c %s "$log" 2>/dev/null || echo 0)
rc=0
PROJSMSDLL_FORM=stderr "$wine_run" "$bits" "$@" || rc=$?
said=$(tail -c +"$((log_start + 1))" "$log" 2>/dev/null | tr -d '\r' || true)

if [ -n "$expect" ]; then
  [ $rc -ne 0 ] || { echo "the program did not stop" >&2; exit 1; }
  grep -qF -- "$expect" <<<"$said" || { echo "not said on stopping: $expect" >&2; echo "$said" | tail -n 20 >&2; exit 1; }
  echo "stopped as expected: $expect"
  exit 0
fi
[ $rc -eq 0 ] || { echo "$said" | grep -a 'mobirt\|err' | tail -n 20 >&2 || true; exit $rc; }
if [ -n "$atmodem" ]; then
  echo "--- messages the simulated modem sent:"; cat "$work/sent" 2>/dev/null || true
  grep -qxF "8613912345678	test" "$work/sent" || { echo "the message was not sent" >&2; exit 1; }
fi
exit 0
