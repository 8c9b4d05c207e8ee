#!/usr/bin/env bash
# Qualifies the Windows device library under Wine: the Linux bench starts the
# simulated modem for each scenario, points COM1 of the test prefix at it and
# runs the Windows mobiapp-qualify.exe as the calls child through the Wine
# runner. Every scenario that applies must pass.
#
#   wine_qualify.sh WINE_RUN BITS BENCH SIMULATOR QUALIFY_EXE PROJSMSDLL_DLL
#
# BITS is 64 or 32 (a 32-bit build needs a machine whose Wine runs 32-bit programs).
set -uo pipefail
wine_run=$1 bits=$2 bench=$3 simulator=$4 exe=$5 dll=$6
here=$(cd "$(dirname "$0")" && pwd) || exit 1
# shellcheck source=../../../tools/wine/common.sh
. "$here/../../../tools/wine/common.sh"
prefix=$(mobi_existing_prefix wine_qualify) || exit 1

report=$(mobi_build_dir)/qualify-wine-$(basename "$simulator").html
"$bench" --wine "$wine_run" --wine-bits "$bits" --wine-prefix "$prefix" --exe "$exe" \
  --library "$dll" --modem "$simulator" --port 1 --html "$report"
rc=$?
echo "report: $report"
exit $rc
