#!/usr/bin/env bash
# The front door and the packages on a bare machine: a minimal Debian 12 tree
# (debootstrap --variant=minbase), in which
#   1. a clean clone of this checkout runs ./run demo;
#   2. a fresh copy installs the .deb files of dist/ with apt, builds the
#      consumer project by find_package and by pkg-config against them (and
#      the C consumer with a C compiler), and runs them, and a Python script
#      on python3-mobi, against the installed mobi-terminal.
# With --front-door "COMMAND...", step 1 runs those ./run commands instead,
# one after the other in one clone (for example "test package"), each with
# its wall time and its last line, and step 2 is left out.
# Needs root and Debian's package registry. Usage (from the checkout):
#   sudo packaging/tests/bare_debian.sh [--front-door "COMMAND..."] [WORK_DIR]
#                                                      (default build-bare/)
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
commands=
if [ "${1:-}" = --front-door ]; then
  commands=${2:?--front-door needs the ./run commands}
  shift 2
fi
work=${1:-$src/build-bare}
base=$work/bookworm
[ "$(id -u)" -eq 0 ] || { echo "bare_debian.sh: run as root (debootstrap, chroot)" >&2; exit 1; }
[ -n "$commands" ] || compgen -G "$src/dist/*.deb" >/dev/null ||
  { echo "bare_debian.sh: no .deb in dist/ (./run package first)" >&2; exit 1; }
command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap
mkdir -p "$work"
if [ ! -x "$base/bin/bash" ]; then
  debootstrap --variant=minbase bookworm "$base" >"$work/debootstrap.log" 2>&1 \
    || { tail -n 20 "$work/debootstrap.log" >&2; exit 1; }
fi

mounted=()
unmount_all() {
  local m
  for m in "${mounted[@]}"; do umount -l "$m" 2>/dev/null || true; done
  mounted=()
}
trap unmount_all EXIT

# Copies the base tree to $work/NAME, mounts the kernel's trees into it and
# runs a script there as root.
in_fresh_tree() {
  local name=$1 script=$2 tree=$work/$1 m
  rm -rf "$tree"
  cp -a "$base" "$tree"
  cp /etc/resolv.conf "$tree/etc/resolv.conf" 2>/dev/null || true
  for m in proc sys dev dev/pts; do
    mount --bind "/$m" "$tree/$m"
    mounted=("$tree/$m" "${mounted[@]}")
  done
  echo "== bare Debian 12 ($name)"
  chroot "$tree" /bin/bash -euo pipefail -c "$script"
  unmount_all
}

git clone -q "$src" "$work/clone"
rm -rf "$base/root/mobi"
cp -a "$work/clone" "$base/root/mobi"
rm -rf "$work/clone"
if [ -n "$commands" ]; then
  # shellcheck disable=SC2016 # expanded inside the tree, not here
  in_fresh_tree front-door '
    cd /root/mobi
    for command in '"$commands"'; do
      start=$(date +%s)
      ./run "$command" >"/root/run-$command.log" 2>&1 || { tail -n 40 "/root/run-$command.log"; exit 1; }
      echo "./run $command: $(( $(date +%s) - start )) s; its last line:"
      tail -n 1 "/root/run-$command.log"
    done'
  echo "== bare Debian 12: ./run $commands passed (logs in $work/front-door/root/)"
  exit 0
fi
in_fresh_tree demo 'cd /root/mobi && ./run demo'

mkdir -p "$base/root/debs"
cp "$src"/dist/*.deb "$base/root/debs/"
# shellcheck disable=SC2016 # expanded inside the tree, not here
in_fresh_tree packages '
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >/dev/null
  apt-get install -y -q --no-install-recommends /root/debs/libmobi1_*.deb /root/debs/libmobi-dev_*.deb \
    /root/debs/mobi-tools_*.deb /root/debs/python3-mobi_*.deb g++ gcc cmake make pkg-config >/dev/null
  mobi --version
  man_dir=$(dpkg -L mobi-tools | grep -c "/man1/")
  echo "mobi-tools: $man_dir man pages"
  consume() {
    mkfifo /tmp/sim
    mobi-terminal >/tmp/sim 2>/dev/null &
    exec 3</tmp/sim
    read -r device <&3
    out=$("$1" "$device")
    kill $! && exec 3<&- && rm -f /tmp/sim
    [ "$out" = "check=MOBI-SIM READY send=5" ] || { echo "$1: $out" >&2; exit 1; }
    echo "$2: $out"
  }
  cmake -S /root/mobi/packaging/tests/consumer -B /tmp/by-package >/dev/null
  cmake --build /tmp/by-package >/dev/null
  consume /tmp/by-package/consumer "find_package against the packages"
  g++ -std=c++20 -o /tmp/by-pkg-config /root/mobi/packaging/tests/consumer/consumer.cpp $(pkg-config --cflags --libs mobi)
  consume /tmp/by-pkg-config "pkg-config against the packages"
  gcc -std=c11 -o /tmp/c-by-pkg-config /root/mobi/packaging/tests/consumer/consumer_c.c $(pkg-config --cflags --libs mobi)
  mkfifo /tmp/sim
  mobi-terminal --error-text "LOW BALANCE" >/tmp/sim 2>/dev/null &
  exec 3</tmp/sim
  read -r device <&3
  echo "C through pkg-config: $(/tmp/c-by-pkg-config "$device")"
  echo "python3-mobi: $(python3 -c "import mobi, sys
with mobi.Terminal(port=sys.argv[1]) as t:
    print(t.send(\"13800138000\", \"你好\").name, t.signal(), t.check())" "$device")"
  kill $! && exec 3<&- && rm -f /tmp/sim
  mkfifo /tmp/sim
  mobi-terminal --report-after 20 >/tmp/sim 2>/dev/null &
  exec 3</tmp/sim
  read -r device <&3
  rc=0
  mobi --port "$device" send --follow 60 13800138000 "late" >/tmp/follow.txt 2>&1 || rc=$?
  kill $! && exec 3<&- && rm -f /tmp/sim
  tail -n 1 /tmp/follow.txt
  [ $rc -eq 9 ] && grep -q "^delivered 2[0-9.]* s after the centre accepted it" /tmp/follow.txt \
    || { echo "mobi send --follow 60 (exit $rc):" >&2; cat /tmp/follow.txt >&2; exit 1; }
'
echo "== bare Debian 12: the demo and the packages passed"
