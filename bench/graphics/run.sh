#!/bin/sh
# Frames per second of circles.ov (orvane) and circles.py (pygame) under SDL's dummy driver.
# Usage: bench/graphics/run.sh [path/to/orvane]
here=$(dirname "$0")
orvane=${1:-$here/../../build/orvane}
frames=200
export SDL_VIDEODRIVER=dummy
time_of() { start=$(date +%s.%N); "$@" > /dev/null; end=$(date +%s.%N); echo "$end - $start" | bc -l; }
o=$(time_of "$orvane" "$here/circles.ov")
p=$(time_of /usr/bin/python3 "$here/circles.py")
printf 'orvane: %.1f fps (%.2f s)\n' "$(echo "$frames / $o" | bc -l)" "$o"
printf 'pygame: %.1f fps (%.2f s)\n' "$(echo "$frames / $p" | bc -l)" "$p"
