#!/usr/bin/env bash
# Runs a Windows program under Wine with a scripted terminal on COM port PORT
# of the test prefix: a pseudo-terminal made by socat, linked as
# <prefix>/dosdevices/comPORT. Passes when the program passes and the
# terminal got through its whole script.
#   with_peer.sh PORT SCRIPT -- COMMAND...
set -u
port=$1 script=$2; shift 3
build=$PWD
while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
prefix=${MOBI_WINEPREFIX:-$build/wineprefix}
[ -d "$prefix/dosdevices" ] || { echo "with_peer: no Wine prefix at $prefix" >&2; exit 1; }
link=$prefix/dosdevices/com$port
result=$(mktemp "${TMPDIR:-/tmp}/mobi-peer-result.XXXXXX")
here=$(cd "$(dirname "$0")" && pwd)
rm -f "$link"
socat PTY,link="$link",raw,echo=0 EXEC:"bash $here/scripted_peer.sh $script $result",nofork \
  2>>"$prefix.log" &
peer=$!
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
[ -e "$link" ] || { echo "with_peer: socat did not make $link" >&2; kill $peer; exit 1; }
"$@"
rc=$?
kill $peer 2>/dev/null
wait $peer 2>/dev/null
rm -f "$link"
echo "--- scripted terminal ($script):"
cat "$result"
if ! grep -qx ok "$result"; then
  echo "with_peer: the scripted terminal did not get through its script" >&2
  [ $rc -eq 0 ] && rc=1
fi
rm -f "$result"
exit $rc
