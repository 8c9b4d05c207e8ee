#!/usr/bin/env bash
# Runs a Windows program under Wine against the terminal simulator
# (mobi-terminal, built by the default preset) on COM port PORT of the test
# prefix: its pseudo-terminal is linked as <prefix>/dosdevices/comPORT.
# Passes when the program passes and every pattern of EXPECT (one extended
# regular expression a line) matches a line of the simulator's frame log.
#   with_simulator.sh SIMULATOR PORT EXPECT [SIMULATOR OPTIONS...] -- COMMAND...
set -u
simulator=$1 port=$2 expect=$3; shift 3
options=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do options+=("$1"); shift; done
shift
[ -x "$simulator" ] || {
  echo "with_simulator: no terminal simulator at $simulator (build the default preset first: ./run test does)" >&2
  exit 1
}
build=$PWD
while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
prefix=${MOBI_WINEPREFIX:-$build/wineprefix}
[ -d "$prefix/dosdevices" ] || { echo "with_simulator: no Wine prefix at $prefix" >&2; exit 1; }
link=$prefix/dosdevices/com$port
framelog=$(mktemp "${TMPDIR:-/tmp}/mobi-simulator.XXXXXX")
rm -f "$link"
"$simulator" --link "$link" "${options[@]}" >"$framelog" 2>&1 &
sim=$!
for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
[ -e "$link" ] || { echo "with_simulator: the simulator did not make $link" >&2; cat "$framelog"; kill $sim; exit 1; }
"$@"
rc=$?
kill -TERM $sim 2>/dev/null
wait $sim 2>/dev/null
echo "--- terminal simulator (${options[*]}):"
cat "$framelog"
while IFS= read -r pattern; do
  [ -z "$pattern" ] || [ "${pattern:0:1}" = "#" ] && continue
  if ! grep -Eq -- "$pattern" "$framelog"; then
    echo "with_simulator: no frame on the line matches: $pattern" >&2
    rc=1
  fi
done <"$expect"
rm -f "$framelog"
exit $rc
