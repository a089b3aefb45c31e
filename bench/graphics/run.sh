#!/bin/sh
# Frames per second of circles.ov (orvane) and circles.py (pygame) under SDL's dummy driver:
# 1,000 filled circles of radius 20 per frame. Each program runs twice, for 100 and for 500
# frames, and the rate comes from the difference, so start-up time (Python's and pygame's
# imports, SDL's initialisation) does not count.
# Usage: bench/graphics/run.sh [path/to/orvane]
here=$(cd "$(dirname "$0")" && pwd)
orvane=${1:-$here/../../build/orvane}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export SDL_VIDEODRIVER=dummy
seconds() { start=$(date +%s.%N); "$@" > /dev/null; end=$(date +%s.%N); echo "$end - $start" | bc -l; }
for n in 100 500; do
  sed "s/frame < 200/frame < $n/" "$here/circles.ov" > "$scratch/circles$n.ov"
  sed "s/range(200)/range($n)/" "$here/circles.py" > "$scratch/circles$n.py"
done
o1=$(seconds "$orvane" "$scratch/circles100.ov"); o2=$(seconds "$orvane" "$scratch/circles500.ov")
p1=$(seconds /usr/bin/python3 "$scratch/circles100.py"); p2=$(seconds /usr/bin/python3 "$scratch/circles500.py")
printf 'orvane: %.0f fps\n' "$(echo "400 / ($o2 - $o1)" | bc -l)"
printf 'pygame: %.0f fps\n' "$(echo "400 / ($p2 - $p1)" | bc -l)"
