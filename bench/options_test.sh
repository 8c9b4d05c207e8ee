#!/usr/bin/env bash
# mobi-bench's command line follows the tools' convention. Every case ends
# before the benchmark starts (a mistake, --help or --version).
# Usage: options_test.sh MOBI_BENCH
set -uo pipefail
bench=$1 status=0
# check CODE STDERR_PIECE ARGUMENT...
check() {
  local code=$1 piece=$2 err got
  shift 2
  err=$("$bench" "$@" 2>&1 >/dev/null)
  got=$?
  if [ "$got" -ne "$code" ] || [[ $err != *"$piece"* ]]; then
    printf 'mobi-bench %s: exit %s (expected %s): %s\n' "$*" "$got" "$code" "$err" >&2
    status=1
  fi
}
check 0 '' --iterations=5 --sends 3 --baud=9600 --no-cpu --round-trip-seconds 0.5 --version
check 0 '' --burst-sends=2 -h
check 2 'unknown option "--bogus"' --bogus --version
check 2 'unknown option "-x"' -hx
check 2 '--sends: missing value' --version --sends
check 2 '--baud: expected 9600 or 115200, got "300"' --baud 300 --version
check 2 '--iterations: expected a whole number from 1 to' --iterations=1.5 --help
check 2 '--round-trip-seconds: expected a number above 0, got "0"' --round-trip-seconds=0
check 2 '--no-cpu: takes no value' --no-cpu=1
check 2 'unexpected argument "run"' run
[ $status -ne 0 ] || echo "mobi-bench: command line as the other tools"
exit $status
