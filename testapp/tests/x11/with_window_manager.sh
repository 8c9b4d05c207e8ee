#!/usr/bin/env bash
# Runs a program on a real X server with a window manager: a private Xvfb
# display and openbox on it, both ended afterwards. Exits 77 (the test is
# skipped) when Xvfb or openbox is missing.
#
#   with_window_manager.sh PROGRAM [ARGS...]
set -euo pipefail
for tool in Xvfb openbox xprop xdotool; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed" >&2; exit 77; }
done
work=$(mktemp -d)
xvfb_pid='' wm_pid=''
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
read -r -t 20 number <"$work/display" || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=:$number
openbox --sm-disable >"$work/wm.log" 2>&1 &
wm_pid=$!
# The window manager is up when it has announced itself on the root window.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' ||
  { echo "openbox did not start:" >&2; cat "$work/wm.log" >&2; exit 1; }
QT_QPA_PLATFORM=xcb "$@"
