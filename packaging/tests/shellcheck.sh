#!/usr/bin/env bash
# Every tracked shell script passes shellcheck (with the project's
# .shellcheckrc). Skipped (exit 77) where shellcheck or git is missing.
# Usage: bash shellcheck.sh SOURCE_DIR
set -euo pipefail
cd "$1"
command -v shellcheck >/dev/null || { echo "shellcheck is not installed"; exit 77; }
git rev-parse --is-inside-work-tree >/dev/null 2>&1 || { echo "not a git checkout"; exit 77; }
scripts=()
while IFS= read -r -d '' file; do
  case $file in
    *.sh) scripts+=("$file") ;;
    *) [ -f "$file" ] && head -n 1 "$file" | grep -Eq '^#!.*\b(ba)?sh\b' && scripts+=("$file") ;;
  esac
done < <(git ls-files -z)
echo "shellcheck: ${#scripts[@]} scripts"
shellcheck "${scripts[@]}"
echo "shellcheck: no findings"
