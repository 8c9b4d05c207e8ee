#!/usr/bin/env bash
# The shared library exports its public interface and nothing else: every
# defined dynamic symbol must be in the list, and every listed one present.
# Usage: exported_symbols.sh LIBRARY LIST
set -euo pipefail
lib=$1 list=$2
actual=$(nm -DC --defined-only "$lib" | awk '$2 != "A" { $1 = ""; $2 = ""; sub(/^  /, ""); sub(/@@?MOBI_(C_)?[0-9]+$/, ""); print }' | sort -u)
expected=$(sort -u "$list")
extra=$(comm -23 <(printf '%s\n' "$actual") <(printf '%s\n' "$expected"))
missing=$(comm -13 <(printf '%s\n' "$actual") <(printf '%s\n' "$expected"))
status=0
if [ -n "$extra" ]; then
  printf '%s exports symbols outside its public interface:\n%s\n' "$lib" "$extra" >&2
  status=1
fi
if [ -n "$missing" ]; then
  printf '%s no longer exports these public symbols:\n%s\n' "$lib" "$missing" >&2
  status=1
fi
untagged=$(nm -D --defined-only "$lib" | awk '$2 != "A" && $3 !~ /@@MOBI_(C_)?[0-9]+$/ { print $3 }')
if [ -n "$untagged" ]; then
  printf '%s exports symbols without the MOBI version tag:\n%s\n' "$lib" "$untagged" >&2
  status=1
fi
[ $status -eq 0 ] && echo "$(printf '%s\n' "$actual" | wc -l) exported symbols, all public"
exit $status
