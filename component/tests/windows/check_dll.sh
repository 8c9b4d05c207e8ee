#!/usr/bin/env bash
# Mobi.dll exports exactly DllCanUnloadNow, DllGetClassObject,
# DllRegisterServer and DllUnregisterServer, and imports only system DLLs
# (statically linked: no libstdc++, libgcc or winpthread DLL).
#   check_dll.sh OBJDUMP DLL
set -u
objdump=$1 dll=$2
dump=$("$objdump" -p "$dll") || { echo "check_dll: cannot read $dll" >&2; exit 1; }
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | tail -n +2 | grep -o '\] .*' | cut -c3- | sort | tr '\n' ' ')
imports=$(grep -o 'DLL Name: .*' <<<"$dump" | cut -d' ' -f3 | tr '[:upper:]' '[:lower:]' | sort -u | tr '\n' ' ')
echo "exports: $exports"
echo "imports: $imports"
rc=0
[ "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ] ||
  { echo "check_dll: the exports are not exactly the four entry points" >&2; rc=1; }
for dll_name in $imports; do
  case $dll_name in
    kernel32.dll|user32.dll|advapi32.dll|ole32.dll|oleaut32.dll|msvcrt.dll) ;;
    *) echo "check_dll: imports $dll_name, which is not a system DLL" >&2; rc=1 ;;
  esac
done
exit $rc
