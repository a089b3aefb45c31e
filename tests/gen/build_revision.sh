#!/usr/bin/env bash
# Builds the interpreter of an older commit (Release, no tests) into DIR, for comparing a new
# evaluator with a previous one:
#   tests/gen/build_revision.sh v1.0 /tmp/old
#   make fuzz-gen GEN_AGAINST="--other /tmp/old/build/orvane"
# Usage: tests/gen/build_revision.sh REVISION DIR [JOBS]
set -euo pipefail
revision=$1
dir=$2
jobs=${3:-2}
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$dir/src"
git -C "$root" archive "$revision" | tar -x -C "$dir/src"
cmake -S "$dir/src" -B "$dir/build" -DCMAKE_BUILD_TYPE=Release -DORVANE_TESTS=OFF > /dev/null
cmake --build "$dir/build" -j "$jobs" --target orvane
echo "$dir/build/orvane"
