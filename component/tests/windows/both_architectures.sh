#!/usr/bin/env bash
# The 64-bit and the 32-bit Mobi.dll registered side by side in one fresh Wine
# prefix: unregistering either one leaves the other working, and
# unregistering both leaves nothing.
#   both_architectures.sh BUILD_WIN64 BUILD_WIN32
set -uo pipefail
if ! b64=$(cd "$1" && pwd) || ! b32=$(cd "$2" && pwd); then
  echo "usage: $0 BUILD_WIN64 BUILD_WIN32 (two build folders)" >&2
  exit 2
fi
export WINEPREFIX=$b64/wineprefix-both WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
log=$WINEPREFIX.log
rm -rf "$WINEPREFIX" "$log"
here=$(cd "$(dirname "$0")" && pwd) || exit 1
# shellcheck source=../../../tools/wine/common.sh
. "$here/../../../tools/wine/common.sh"
stop_wineserver() { timeout 30 wineserver -k >>"$log" 2>&1; }
mobi_at_exit stop_wineserver
winpath() { echo "Z:${1//\//\\}"; }
dll64=$(winpath "$b64/bin/Mobi.dll") dll32=$(winpath "$b32/bin/Mobi.dll")
failed=0
step() { echo "== $*"; }
run64() { timeout -k 5 120 "$(mobi_wine_loader 64)" "$@" 2>>"$log"; }
run32() { timeout -k 5 120 "$(mobi_wine_loader 32)" "$@" 2>>"$log"; }
check() {  # check 64|32 FILTER [other registered]
  local bits=$1 filter=$2 dll=$dll64 exe=$b64/bin/mobi_com_client_test.exe run=run64
  [ "$bits" = 32 ] && { dll=$dll32; exe=$b32/bin/mobi_com_client_test.exe; run=run32; }
  export MOBI_TEST_DLL=$dll
  if [ -n "${3:-}" ]; then export MOBI_TEST_OTHER_REGISTERED=1; else unset MOBI_TEST_OTHER_REGISTERED; fi
  if ! $run "$exe" --gtest_filter="$filter" >"$WINEPREFIX.$bits.out" 2>&1; then
    cat "$WINEPREFIX.$bits.out"
    echo "FAILED: $bits-bit $filter${3:+ (the other architecture still registered)}"
    failed=1
  fi
}
reg() {  # reg 64|32 [u]: register (or with u unregister) that DLL
  local args=(/s) dll=$dll32
  [ "${2:-}" = u ] && args+=(/u)
  [ "$1" = 64 ] && dll=$dll64
  "run$1" regsvr32 "${args[@]}" "$dll" || { echo "FAILED: regsvr32 ${args[*]} of the $1-bit DLL"; failed=1; }
}

mobi_wineboot "$log" || { echo "could not make the prefix (see $log)"; exit 1; }
step "register both"; reg 64; reg 32
check 64 'Registered.*'; check 32 'Registered.*'
step "unregister the 32-bit DLL: the 64-bit one still works"; reg 32 u
check 32 'Unregistered.*' other; check 64 'Registered.*'
step "register it again, unregister the 64-bit DLL: the 32-bit one still works"; reg 32; reg 64 u
check 64 'Unregistered.*' other; check 32 'Registered.*'
step "unregister the 32-bit DLL too: nothing is left"; reg 32 u
check 32 'Unregistered.*'; check 64 'Unregistered.*'
[ $failed -eq 0 ] && echo "both architectures: all checks passed"
exit $failed
