#!/usr/bin/env bash
# Builds an outside project against the component three ways and runs each
# build against the terminal simulator:
#   1. find_package(mobi CONFIG) on a prefix made by `cmake --install`
#   2. pkg-config mobi on the same prefix
#   3. add_subdirectory of the checkout, with Qt and GoogleTest out of reach
# Usage: consume.sh SOURCE_DIR BUILD_DIR WORK_DIR
set -euo pipefail
src=$1 build=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
terminal="$build/bin/mobi-terminal"

sim_pid=""
cleanup() { [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true; }
trap cleanup EXIT

# Runs one consumer binary against a fresh simulator (with OPTIONS), which
# must print EXPECTED (by default what the C++ consumer prints).
run_consumer() {
  local what=$1 binary=$2 expected=${3:-check=MOBI-SIM READY send=5} device out
  shift 3 || shift $#
  mkfifo "$work/sim.out"
  "$terminal" "$@" >"$work/sim.out" 2>"$work/sim.log" &
  sim_pid=$!
  exec 3<"$work/sim.out"
  read -r -t 10 device <&3 || { echo "$what: the simulator did not start" >&2; cat "$work/sim.log" >&2; exit 1; }
  out=$(timeout 30 "$binary" "$device")
  kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=""
  exec 3<&-; rm -f "$work/sim.out"
  if [ "$out" != "$expected" ]; then
    echo "$what: unexpected answer: $out" >&2
    exit 1
  fi
  echo "$what: $out"
}

prefix="$work/prefix"
for component in runtime dev; do
  cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done

cmake -S "$src/packaging/tests/consumer" -B "$work/by-package" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/by-package" >/dev/null
run_consumer "find_package" "$work/by-package/consumer"

pcdir=$(dirname "$(find "$prefix" -name mobi.pc | head -n 1)")
# shellcheck disable=SC2046 # pkg-config's flags are separate words
c++ -std=c++20 -o "$work/by-pkg-config" "$src/packaging/tests/consumer/consumer.cpp" \
  $(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs mobi) \
  -Wl,-rpath,"$(PKG_CONFIG_PATH="$pcdir" pkg-config --variable=libdir mobi)"
run_consumer "pkg-config" "$work/by-pkg-config"

# The C interface from C (a C compiler, not C++), with pkg-config too.
# shellcheck disable=SC2046 # pkg-config's flags are separate words
cc -std=c11 -Wall -Wextra -Werror -o "$work/c-by-pkg-config" "$src/packaging/tests/consumer/consumer_c.c" \
  $(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs mobi) \
  -Wl,-rpath,"$(PKG_CONFIG_PATH="$pcdir" pkg-config --variable=libdir mobi)"
run_consumer "C through pkg-config" "$work/c-by-pkg-config" \
  "check=MOBI-SIM READY code=1 signal=23 send=5 errors=1:LOW BALANCE bad=380:1 empty=9 late=0" \
  --error-text "LOW BALANCE"

cmake -S "$src/packaging/tests/consumer" -B "$work/by-subdirectory" -G Ninja -DMOBI_SOURCE_DIR="$src" \
  --no-warn-unused-cli -DMOBI_BUILD_TESTS=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >/dev/null
cmake --build "$work/by-subdirectory" >/dev/null
run_consumer "add_subdirectory" "$work/by-subdirectory/consumer"
