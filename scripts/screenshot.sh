#!/usr/bin/env bash
# Starts a program on a virtual X display (Xvfb), waits, optionally sends it
# input with xdotool, and saves the whole screen as a PNG (ImageMagick's import).
#
# Usage:
#   scripts/screenshot.sh [options] [--] COMMAND [ARGS...]
#
# Options:
#   -o FILE     the PNG to write (default: screenshot.png)
#   -g WxH      size of the virtual screen (default: 1280x800)
#   -w SECONDS  wait after the start before the first input (default: 2)
#   -x STEP     one xdotool command line, run after the wait; repeatable,
#               run in order, each followed by a short pause (-p). A step is
#               read as shell words, so quote text with spaces inside it:
#                 -x "type 'Hallo Welt'"   -x 'key F1'   -x 'key alt+1'
#                 -x 'mousemove 40 20 click 1'
#   -p SECONDS  pause after each step (default: 0.5)
#   -a SECONDS  wait after the last step before the picture (default: 1)
#
# Before the steps the program's window gets the keyboard focus (there is no
# window manager on the virtual display to give it).
#
# Example: the window demo, started at once, with a few keys typed:
#   scripts/screenshot.sh -o /tmp/demo.png -x 'type Kelbrin' -- \
#       build/tests/qt/kelbrin_qt_demo --start
#
# Needs: xvfb, xdotool, imagemagick.
set -euo pipefail

output=screenshot.png
geometry=1280x800
wait_start=2
pause=0.5
wait_after=1
steps=()

while getopts "o:g:w:x:p:a:h" option; do
  case $option in
    o) output=$OPTARG ;;
    g) geometry=$OPTARG ;;
    w) wait_start=$OPTARG ;;
    x) steps+=("$OPTARG") ;;
    p) pause=$OPTARG ;;
    a) wait_after=$OPTARG ;;
    h) sed -n '2,30p' "$0"; exit 0 ;;
    *) echo "see: $0 -h" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
if [ $# -eq 0 ]; then
  echo "no command given; see: $0 -h" >&2
  exit 2
fi
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done

output=$(realpath -m "$output")
workdir=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$workdir"
}
trap cleanup EXIT

# Xvfb picks a free display itself and tells its number through a pipe.
exec 3>"$workdir/display"
Xvfb -displayfd 3 -screen 0 "${geometry}x24" -nolisten tcp >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do
  [ -s "$workdir/display" ] && break
  sleep 0.05
done
if [ ! -s "$workdir/display" ]; then
  echo "Xvfb did not start:" >&2
  cat "$workdir/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$workdir/display")"

"$@" &
app_pid=$!
sleep "$wait_start"
if ! kill -0 "$app_pid" 2>/dev/null; then
  echo "the program ended before the picture" >&2
  exit 1
fi

window=$(xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1 || true)
if [ -n "$window" ]; then
  xdotool windowfocus --sync "$window" 2>/dev/null || true
fi
for step in "${steps[@]}"; do
  eval "xdotool $step"
  sleep "$pause"
done
sleep "$wait_after"

import -window root "$output"
echo "$output"
