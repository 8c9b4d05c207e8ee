#!/usr/bin/env bash
# Measures, under Wine, how many of N sends lose their delivery report when
# the terminal simulator forwards every reply in two bursts G ms apart (as a
# USB adapter does), for G = 2, 5, 10 and 16. Uses the win64 build folder's
# test prefix; registers Mobi.dll there for the run and unregisters it after.
#   bench/wine/bursts.sh [N]   (default 1000; about 2.5 minutes per 1000)
set -euo pipefail
n=${1:-1000}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build-win64
tests=$root/component/tests/windows
wine_run=$root/tools/wine/wine-run
simulator=$build/host-mobi-terminal/bin/mobi-terminal
[ -f "$build/bin/Mobi.dll" ] || { echo "bursts: build the win64 preset first" >&2; exit 1; }
[ -x "$simulator" ] || { echo "bursts: no $simulator: build the win64 preset first" >&2; exit 1; }
cd "$build"
export MOBI_WINE_TIMEOUT=$((n / 2 + 120))
"$wine_run" 64 --fresh >/dev/null
trap '"$wine_run" 64 regsvr32 /u /s "Z:${build//\//\\}\\bin\\Mobi.dll" || true; "$wine_run" 64 --stop' EXIT
"$wine_run" 64 regsvr32 /s "Z:${build//\//\\}\\bin\\Mobi.dll"
script="Z:${root//\//\\}\\bench\\wine\\bursts.vbs"
empty=$(mktemp)
# A reply whose second burst the simulator wrote so late that the pause
# reached the long gap (25 ms at 9600 baud) is two replies on any line: such
# line stalls are counted beside the losses.
for gap in 2 5 10 16; do
  out=$(bash "$tests/with_simulator.sh" "$simulator" 17 "$empty" --fault split \
    --fault-pause "$gap" --centre-delay 50 --report-delay 50 -- \
    "$wine_run" 64 cscript //nologo "$script" 17 "$n")
  stalls=$(grep -o 'late write: [0-9]* byte(s) [0-9]* us' <<<"$out" |
    awk -v limit=$(((25 - gap) * 1000)) '$5 >= limit' | wc -l)
  echo "bursts $gap ms apart: $(grep '^lost' <<<"$out"); line stalls: $stalls"
done
rm -f "$empty"
