#!/usr/bin/env bash
# Runs the Windows client's Modem tests under Wine against the simulated
# modem: the modem's pseudo-terminal becomes COM42 of the test prefix, and
# port 7 is mapped to it through PROJSMSDLL_PORT7. Afterwards the modem's log
# of sent messages must show both messages, the Chinese one intact.
#
#   wine_modem_test.sh WINE_RUN BITS MOBI_ATMODEM CLIENT
set -uo pipefail
wine_run=$1 bits=$2 atmodem=$3 client=$4
here=$(cd "$(dirname "$0")" && pwd) || exit 1
# shellcheck source=../../tools/wine/common.sh
. "$here/../../tools/wine/common.sh"
prefix=$(mobi_existing_prefix wine_modem_test) || exit 1

work=$(mktemp -d) || exit 1
modem_pid=
cleanup() {
  [ -z "$modem_pid" ] || { kill "$modem_pid" 2>/dev/null; wait "$modem_pid"; }
  rm -f "$prefix/dosdevices/com42"
  rm -rf "$work"
}
mobi_at_exit cleanup

mkfifo "$work/out"
long_text=$(printf 'Windows %.0s' $(seq 1 25)) # two parts
"$atmodem" --time 26/12/08,19:10:00+32 --inbox "+8613912345678:你好, 世界" --inbox "10086:$long_text" \
  --sent-log "$work/sent" ${MOBI_ATMODEM_VERBOSE:+--verbose} >"$work/out" 2>"$work/modem.log" &
modem_pid=$!
exec 3<"$work/out"
if ! read -r -t 10 device <&3; then
  echo "the simulated modem did not start:" >&2; cat "$work/modem.log" >&2; exit 1
fi
ln -sfn "$device" "$prefix/dosdevices/com42"

PROJSMSDLL_PORT7='\\.\COM42' MOBI_TEST_PORT=7 "$wine_run" "$bits" "$client" --gtest_filter='Modem.*'
rc=$?
echo "--- simulated modem:"; cat "$work/modem.log"
[ $rc -eq 0 ] || exit $rc

status=0
grep -qxF "10086	hello from Windows" "$work/sent" || { echo "plain message not sent" >&2; status=1; }
grep -qxF "+8613912345678	你好!" "$work/sent" || { echo "Chinese message not sent intact" >&2; status=1; }
[ "$(grep -c '^10086	W*indows ' "$work/sent")" -eq 2 ] || { echo "long message not sent in two parts" >&2; status=1; }
exit $status
