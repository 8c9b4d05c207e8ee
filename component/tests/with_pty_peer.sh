#!/usr/bin/env bash
# Runs a native test with a scripted terminal (PEER, mobi-scripted-peer) on a
# pseudo-terminal; the test finds it through MOBI_TEST_DEVICE. Passes when the
# test passes and the terminal got through its whole script.
#   with_pty_peer.sh PEER SCRIPT -- COMMAND...
set -euo pipefail
peer_program=$1 script=$2
shift 3
dir=$(mktemp -d "${TMPDIR:-/tmp}/mobi-pty-peer.XXXXXX")
trap 'rm -rf "$dir"' EXIT
link=$dir/line
result=$dir/result
"$peer_program" "$script" "$result" "$link" 2>>"$dir/peer.log" &
peer=$!
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
[ -e "$link" ] || { echo "with_pty_peer: the scripted terminal did not make $link" >&2; cat "$result" "$dir/peer.log" >&2; kill "$peer"; exit 1; }
rc=0
MOBI_TEST_DEVICE=$link "$@" || rc=$?
kill "$peer" 2>/dev/null || true
wait "$peer" 2>/dev/null || true
echo "--- scripted terminal ($script):"
cat "$result"
if ! grep -qx ok "$result"; then
  echo "with_pty_peer: the scripted terminal did not get through its script" >&2
  [ $rc -eq 0 ] && rc=1
fi
exit $rc
