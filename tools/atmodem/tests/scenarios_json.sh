#!/usr/bin/env bash
# mobi-atmodem --list-scenarios --json: one valid JSON object a line, with
# exactly the keys callers rely on, at least 30 scenarios, each known to
# --scenario; the plain table has a line for each.
#
#   scenarios_json.sh MOBI_ATMODEM
set -euo pipefail

atmodem=$1
json=$("$atmodem" --list-scenarios --json)
table=$("$atmodem" --list-scenarios)

/usr/bin/python3 - "$json" <<'PY'
import json, sys

keys = {"name", "description", "source", "applies", "delay", "calls"}
calls = {
    "open": {"call", "expect"},
    "close": {"call", "expect"},
    "send": {"call", "number", "text", "mode", "expect"},
}
names = set()
lines = sys.argv[1].split("\n")
for line in lines:
    s = json.loads(line)
    assert set(s) - {"any_order"} == keys, (line, set(s))
    assert s.get("any_order", True) is True, line
    assert isinstance(s["name"], str) and s["name"] not in names, line
    names.add(s["name"])
    assert isinstance(s["description"], str) and "\n" not in s["description"], line
    assert isinstance(s["source"], str) and s["source"], line
    assert isinstance(s["applies"], bool), line
    assert isinstance(s["delay"], (int, float)) and s["delay"] >= 0, line
    assert s["calls"] and s["calls"][0]["call"] == "open", line
    for c in s["calls"]:
        assert c["expect"] in ("ok", "fail"), c
        if c["call"] == "fetch":
            want = {"call", "expect", "sender", "text", "time"} if c["expect"] == "ok" else {"call", "expect"}
        else:
            want = calls[c["call"]]
            if c["call"] == "send":
                assert c["mode"] in (1, 2), c
        assert set(c) - {"or_text"} == want, c
assert len(names) >= 30, len(names)
assert "baseline" in names
print(len(names), "scenarios, JSON valid")
PY
count=$(printf '%s\n' "$json" | wc -l)
[ "$(printf '%s\n' "$table" | wc -l)" -eq "$count" ] || { echo "FAIL: table and JSON differ in length" >&2; exit 1; }
printf '%s\n' "$table" | grep -q '^baseline  *a well-behaved modem.*\[.*\]$' || { echo "FAIL: table line of baseline" >&2; exit 1; }
echo "$count scenarios"
