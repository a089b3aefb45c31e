#!/usr/bin/env bash
# Opens scripts in Vim with the Orvane syntax file and checks the highlight group of chosen
# tokens (tests/editors/vim_cases.tsv).
# Usage: check-vim.sh SOURCE_DIR
set -uo pipefail
root=$(cd "$1" && pwd)
out=$(mktemp)
trap 'rm -f "$out"' EXIT
cd "$root"
PROBE_TABLE=$root/tests/editors/vim_cases.tsv PROBE_OUT=$out \
  timeout 60 vim -Nu NONE -i NONE -Es --cmd "set rtp^=$root/editors/vim" \
  --cmd 'filetype plugin on' --cmd 'syntax on' -S "$root/tests/editors/vim_probe.vim" < /dev/null
passed=$(grep -cx ok "$out")
failed=$(grep -cvx ok "$out")
grep -vx ok "$out" | sed 's/^/FAIL: /'
[ "$passed" -gt 0 ] || { echo "FAIL: no case ran"; failed=$((failed + 1)); }
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
