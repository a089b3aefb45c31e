#!/bin/sh
# Screenshots of the examples: each runs in a virtual X display the size of its window, is
# captured after a moment, then asked to close (SIGTERM reaches the script as a quit request).
# Usage: docs/images/capture.sh [path/to/orvane] [name...]   (needs xvfb and imagemagick)
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$here/../..
orvane=${1:-$root/build/orvane}
[ $# -gt 0 ] && shift
names=${*:-"bouncing sierpinski plasma"}
display=:57
for name in $names; do
  Xvfb $display -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  sleep 1
  DISPLAY=$display SDL_VIDEODRIVER=x11 "$orvane" "$root/examples/$name.ov" &
  script=$!
  sleep "${CAPTURE_DELAY:-3}"
  import -display $display -window root "$here/$name.png"
  kill -TERM $script
  wait $script && echo "$name: captured, closed cleanly" || echo "$name: exit status $?"
  kill $xvfb
  wait $xvfb 2>/dev/null || true
done
