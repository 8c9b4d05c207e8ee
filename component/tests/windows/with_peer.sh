#!/usr/bin/env bash
# Runs a Windows program under Wine with a scripted terminal (PEER, a host
# build of mobi-scripted-peer) on COM port PORT of the test prefix: a
# pseudo-terminal linked as <prefix>/dosdevices/comPORT. Passes when the
# program passes and the terminal got through its whole script.
#   with_peer.sh PEER PORT SCRIPT -- COMMAND...
set -uo pipefail
peer_program=$1 port=$2 script=$3; shift 4
here=$(cd "$(dirname "$0")" && pwd) || exit 1
# shellcheck source=../../../tools/wine/common.sh
. "$here/../../../tools/wine/common.sh"
prefix=$(mobi_existing_prefix with_peer) || exit 1
link=$prefix/dosdevices/com$port
result=$(mktemp "${TMPDIR:-/tmp}/mobi-peer-result.XXXXXX") || exit 1
peer=
stop_peer() {
  [ -z "$peer" ] || { kill "$peer" 2>/dev/null; wait "$peer" 2>/dev/null; }
  peer=
  rm -f "$link"
}
remove_result() { rm -f "$result"; }
mobi_at_exit remove_result
mobi_at_exit stop_peer
rm -f "$link"
# A terminal does not pause in the middle of a reply: the scripted one runs at
# real-time priority where that is permitted, so that load cannot split it.
rt=()
chrt -f 10 true 2>/dev/null && rt=(chrt -f 10)
"${rt[@]}" "$peer_program" "$script" "$result" "$link" 2>>"$prefix.log" &
peer=$!
mobi_wait_for_path "$link" || { echo "with_peer: the scripted terminal did not make $link" >&2; exit 1; }
"$@"
rc=$?
stop_peer
echo "--- scripted terminal ($script):"
cat "$result"
if ! grep -qx ok "$result"; then
  echo "with_peer: the scripted terminal did not get through its script" >&2
  [ $rc -eq 0 ] && rc=1
fi
exit $rc
