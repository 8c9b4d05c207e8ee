#!/usr/bin/env bash
# A man page stays true to its tool: the long options its --help lists and
# the page describes are the same set, and the page carries the tool's
# version.
# Usage: man_pages.sh TOOL MANPAGE
set -euo pipefail
tool=$1 page=$2
name=$(basename "$tool")
options() { grep -oE -- '--[a-z][a-z0-9-]*' | sort -u; }
from_help=$("$tool" --help | options)
from_page=$(sed 's/\\-/-/g; s/\\f[BIRP]//g' "$page" | options)
status=0
missing=$(comm -23 <(printf '%s\n' "$from_help") <(printf '%s\n' "$from_page"))
stale=$(comm -13 <(printf '%s\n' "$from_help") <(printf '%s\n' "$from_page"))
[ -z "$missing" ] || { printf '%s: options in --help but not in %s:\n%s\n' "$name" "$page" "$missing" >&2; status=1; }
[ -z "$stale" ] || { printf '%s: options in %s but not in --help:\n%s\n' "$name" "$page" "$stale" >&2; status=1; }
# Exit codes listed one per line ("  N  meaning", right-aligned) are each
# described too.
codes_help=$("$tool" --help | sed -n '/^Exit codes:$/,$ s/^ \{1,2\}\([0-9][0-9]*\)  .*/\1/p' | sort -u)
codes_page=$(sed -n '/^\.SH EXIT STATUS/,/^\.SH [^E]/ s/^\.B \([0-9][0-9]*\)$/\1/p' "$page" | sort -u)
[ "$codes_help" = "$codes_page" ] \
  || { printf '%s: exit codes differ: --help has %s, %s has %s\n' "$name" "$(tr "\n" " " <<<"$codes_help")" "$page" "$(tr "\n" " " <<<"$codes_page")" >&2; status=1; }
version=$("$tool" --version | awk '{ print $NF }')
grep -q "^\.TH .*\"mobi $version\"" "$page" \
  || { printf '%s: %s does not carry version %s\n' "$name" "$page" "$version" >&2; status=1; }
if command -v groff >/dev/null; then
  warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1 || true)
  [ -z "$warnings" ] || { printf '%s: groff warns about %s:\n%s\n' "$name" "$page" "$warnings" >&2; status=1; }
fi
[ $status -ne 0 ] || echo "$name: $(printf '%s\n' "$from_help" | wc -l) options, man page in step"
exit $status
