#!/usr/bin/env bash
# The check that decides whether ./run runs the 32-bit Windows stage
# (tools/wine/check-32bit): a program the kernel cannot start is named as
# the cause, one it can start passes silently, a Wine loader that fails or
# is missing is named, and the built-in probe is a well-formed i386 program
# (so that a skip on this machine is the kernel's answer, not a broken probe).
#   win32_stage.sh SOURCE_DIR WORK_DIR
set -uo pipefail
check=$1/tools/wine/check-32bit work=$2
rm -rf "$work" && mkdir -p "$work" || exit 1
failed=0
expect() {  # expect RC PATTERN -- COMMAND...: exit code and output
  local rc=$1 pattern=$2 out got=0
  shift 3
  out=$("$@" 2>&1) || got=$?
  if [ "$got" -ne "$rc" ] || ! grep -qE -- "$pattern" <<<"$out"; then
    echo "FAILED: $* gave exit $got and \"$out\" (wanted exit $rc and /$pattern/)"
    failed=1
  fi
}

# The probe as check-32bit writes it.
bash -c ". <(sed -n '/^write_probe()/,/^}/p' '$check') && write_probe" >"$work/probe"
chmod +x "$work/probe"
header=$(readelf -h "$work/probe" 2>&1)
for want in 'Class: +ELF32' 'Type: +EXEC' 'Machine: +Intel 80386' 'Entry point address: +0x8048054'; do
  grep -qE "$want" <<<"$header" || { echo "FAILED: the probe's header lacks /$want/:"; echo "$header"; failed=1; }
done
[ "$(stat -c %s "$work/probe")" = 93 ] || { echo "FAILED: the probe is not 93 bytes"; failed=1; }

# The same program for another machine (ARM): no x86 kernel starts it.
{ head -c 18 "$work/probe"; printf '\x28'; tail -c +20 "$work/probe"; } >"$work/arm"
chmod +x "$work/arm"
expect 1 '^this machine cannot run 32-bit programs: the kernel refused to start one \(exit 126: .*Exec format error\)$' \
  -- "$check" kernel "$work/arm"
expect 0 '^$' -- "$check" kernel /bin/true
expect 1 "^Wine's 32-bit loader $work/none is not installed$" -- "$check" wine "$work/none"
expect 1 "^Wine's 32-bit loader does not start \(exit 1\)$" -- "$check" wine /bin/false
expect 2 'usage' -- "$check"
# The built-in probe: this machine's answer is one of the two.
rc=0
out=$("$check" kernel 2>&1) || rc=$?
if [ $rc -eq 0 ] && [ -z "$out" ]; then
  echo "this machine runs 32-bit programs"
elif [ $rc -eq 1 ] && [[ $out == "this machine cannot run 32-bit programs: "* ]]; then
  echo "$out"
else
  echo "FAILED: check-32bit kernel gave exit $rc and \"$out\""
  failed=1
fi
[ $failed -eq 0 ] && echo "win32_stage: all checks passed"
exit $failed
