#!/usr/bin/env bash
# The Windows installers under Wine, both architectures side by side in one
# fresh prefix: an older version of each installs, the current one upgrades
# it, a late-bound VBScript client creates Mobi.clsSMS and gets its errors,
# and uninstalling each package leaves the other working and, at the end,
# nothing behind (CreateObject fails with 429, no files, no registry keys).
#
#   test-msi.sh BUILD_WIN64 BUILD_WIN32
#
# BUILD_WIN32 given as "-" tests the x64 package alone (a machine without
# the 32-bit Windows stage). Packages and the prefix go to
# BUILD_WIN64/msi-test/; Wine's messages to its wineprefix.log.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../tools/wine/common.sh
. "$here/../../tools/wine/common.sh"
b64=$(cd "$1" && pwd) b32=-
[ "$2" = - ] || b32=$(cd "$2" && pwd)
work=$b64/msi-test
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
log=$WINEPREFIX.log
rm -rf "$work"
mkdir -p "$work"
trap 'timeout 30 wineserver -k >>"$log" 2>&1 || true' EXIT

failed=0
step() { echo "== $*"; }
fail() { echo "FAILED: $*"; failed=1; }
winpath() { echo "Z:${1//\//\\}"; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$b64/CMakeCache.txt")
old=0.9.0
step "build the packages: version $version, and $old to upgrade from"
bash "$here/build-msi.sh" "$b64" "$b32" "$work/new" >/dev/null
bash "$here/build-msi.sh" --version "$old" "$b64" "$b32" "$work/old" >/dev/null
msi() { winpath "$work/$1/Mobi-$([ "$1" = old ] && echo "$old" || echo "$version")-$2.msi"; }

# Every Wine run bounded. The installer service is the 64-bit one for both
# packages, as on Windows.
wine64() { timeout -k 5 180 "$(mobi_wine_loader 64)" "$@" 2>>"$log"; }
wine32() { timeout -k 5 180 "$(mobi_wine_loader 32)" "$@" 2>>"$log"; }
msiexec() {  # msiexec /i|/x PACKAGE
  wine64 msiexec "$1" "$2" /qn || fail "msiexec $1 $2 (exit $?)"
}
# The client script with the VBScript tests' shared Check in front of it.
cat "$here/../../component/tests/windows/check.vbs" "$here/msi_client.vbs" >"$work/msi_client.vbs"
client() {  # client 64|32 installed|removed
  local script rc=0
  script=$(winpath "$work/msi_client.vbs")
  if [ "$1" = 32 ]; then
    wine32 'C:\windows\syswow64\cscript.exe' //nologo "$script" "$2" >"$work/client.out" 2>&1 || rc=$?
  else
    wine64 'C:\windows\system32\cscript.exe' //nologo "$script" "$2" >"$work/client.out" 2>&1 || rc=$?
  fi
  [ $rc -eq 0 ] || { cat "$work/client.out"; fail "the $1-bit client, component $2"; }
}
# The registry as the server has written it out (it does so when it exits).
flush() { timeout 60 wineserver -w >>"$log" 2>&1 || true; }
dir64=$WINEPREFIX/drive_c/"Program Files"/Mobi
dir32=$WINEPREFIX/drive_c/"Program Files (x86)"/Mobi
installed_versions() {  # the versions the installer lists as installed products
  flush
  awk '/^\[/ { product = /^\[Software\\\\(Wow6432Node\\\\)?Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\\{/ }
       product && /^"DisplayVersion"=/ { gsub(/^"DisplayVersion"="|"$/, ""); print }' \
    "$WINEPREFIX/system.reg" | sort | tr '\n' ' '
}

mobi_wineboot "$log" || { echo "could not make the prefix (see $log)"; exit 1; }

# The architectures under test, and what installed_versions lists when each
# has version $1 installed.
archs=(64)
[ "$b32" = - ] || archs+=(32)
each_version() { local a; for a in "${archs[@]}"; do printf '%s ' "$1"; done; }
package() { [ "$1" = 64 ] && echo x64 || echo x86; }

step "install version $old (${archs[*]}-bit)"
for a in "${archs[@]}"; do msiexec /i "$(msi old "$(package "$a")")"; done
[ -f "$dir64/Mobi.dll" ] || fail "no Mobi.dll in Program Files\\Mobi"
[ "$b32" = - ] || [ -f "$dir32/Mobi.dll" ] || fail "no Mobi.dll in Program Files (x86)\\Mobi"
for a in "${archs[@]}"; do client "$a" installed; done
[ "$(installed_versions)" = "$(each_version "$old")" ] || fail "installed products: $(installed_versions)"

step "upgrade to $version"
for a in "${archs[@]}"; do msiexec /i "$(msi new "$(package "$a")")"; done
want=$version  # as the installer records it, in three parts
while [ "$(tr -cd . <<<"$want" | wc -c)" -lt 2 ]; do want=$want.0; done
[ "$(installed_versions)" = "$(each_version "$want")" ] || fail "after the upgrade: $(installed_versions)"
for a in "${archs[@]}"; do client "$a" installed; done

if [ "$b32" != - ]; then
  step "uninstall the 32-bit package: the 64-bit one still works"
  msiexec /x "$(msi new x86)"
  client 32 removed
  client 64 installed
  [ ! -e "$dir32" ] || fail "Program Files (x86)\\Mobi is still there"
fi

step "uninstall the 64-bit package: nothing is left"
msiexec /x "$(msi new x64)"
for a in "${archs[@]}"; do client "$a" removed; done
[ ! -e "$dir64" ] || fail "Program Files\\Mobi is still there"
[ -z "$(installed_versions)" ] || fail "still installed: $(installed_versions)"
# No key of the registration in either view: none of the identifiers that
# name its keys, nor the programmatic identifier. Windows keeps one key for
# the programmatic identifier of both architectures, so both packages share
# the component that writes it, and the last one to go removes it; Wine keeps
# one per architecture, and its 32-bit copy (Wow6432Node) outlives the
# packages there. It is the one remnant allowed; with the class gone it
# leads nowhere (CreateObject gives 429 above).
flush
remnant='^\[Software\\\\Classes\\\\Wow6432Node\\\\Mobi\.clsSMS(\\\\CLSID)?\]'
REMNANT=$remnant awk '/^\[/ { skip = $0 ~ ENVIRON["REMNANT"] } !skip' "$WINEPREFIX/system.reg" >"$work/system.reg"
registry_tables=("$b64/bin/Mobi.registry.txt")
[ "$b32" = - ] || registry_tables+=("$b32/bin/Mobi.registry.txt")
for name in $(cut -d'|' -f3 "${registry_tables[@]}" |
  grep -o '{[0-9A-Fa-f-]*}' | sort -u) Mobi.clsSMS; do
  if grep -qiF "$name" "$work/system.reg"; then
    fail "the registry still holds $name"
    grep -iF "$name" "$work/system.reg" | head -n 3
  fi
done

[ $failed -eq 0 ] && echo "installers: all checks passed"
exit $failed
