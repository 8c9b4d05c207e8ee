#!/usr/bin/env bash
# Runs a Windows program under Wine against the terminal simulator
# (mobi-terminal, built by the default preset) on COM port PORT of the test
# prefix: its pseudo-terminal is linked as <prefix>/dosdevices/comPORT.
# Passes when the program passes and every pattern of EXPECT (one extended
# regular expression a line) matches a line of the simulator's frame log.
#   with_simulator.sh SIMULATOR PORT EXPECT [SIMULATOR OPTIONS...] -- COMMAND...
set -uo pipefail
simulator=$1 port=$2 expect=$3; shift 3
options=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do options+=("$1"); shift; done
shift
[ -x "$simulator" ] || {
  echo "with_simulator: no terminal simulator at $simulator (build the default preset first: ./run test does)" >&2
  exit 1
}
here=$(cd "$(dirname "$0")" && pwd) || exit 1
# shellcheck source=../../../tools/wine/common.sh
. "$here/../../../tools/wine/common.sh"
prefix=$(mobi_existing_prefix with_simulator) || exit 1
link=$prefix/dosdevices/com$port
framelog=$(mktemp "${TMPDIR:-/tmp}/mobi-simulator.XXXXXX") || exit 1
sim=
stop_simulator() {
  [ -z "$sim" ] || { kill -TERM "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; }
  sim=
  rm -f "$link"
}
remove_framelog() { rm -f "$framelog"; }
mobi_at_exit remove_framelog
mobi_at_exit stop_simulator
rm -f "$link"
"$simulator" --link "$link" "${options[@]}" >"$framelog" 2>&1 &
sim=$!
mobi_wait_for_path "$link" || { echo "with_simulator: the simulator did not make $link" >&2; cat "$framelog"; exit 1; }
"$@"
rc=$?
stop_simulator
echo "--- terminal simulator (${options[*]}):"
cat "$framelog"
while IFS= read -r pattern; do
  [ -z "$pattern" ] || [ "${pattern:0:1}" = "#" ] && continue
  if ! grep -Eq -- "$pattern" "$framelog"; then
    echo "with_simulator: no frame on the line matches: $pattern" >&2
    rc=1
  fi
done <"$expect"
exit $rc
