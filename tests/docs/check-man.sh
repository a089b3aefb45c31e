#!/usr/bin/env bash
# Renders each manual page with every groff warning turned on and fails on any warning; then
# checks that each option the program lists in its own help text is described in its page.
# Usage: check-man.sh MAN_DIR BINARY_DIR
set -uo pipefail
man_dir=$1
bin_dir=$2
failures=0
checked=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for page in "$man_dir"/*.1; do
  warnings=$(LC_ALL=C.UTF-8 groff -ww -man -Tutf8 -z "$page" 2>&1)
  checked=$((checked + 1))
  [ -n "$warnings" ] && fail "$(basename "$page"): $warnings"
done

# The options a help text names, e.g. "-h, --help" gives -h and --help.
help_options() {
  grep -oE '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u
}

for program in orvane orvane-lint; do
  binary=$bin_dir/$program
  page=$man_dir/$program.1
  [ -x "$binary" ] || continue
  [ -f "$page" ] || { fail "$program has no manual page"; continue; }
  rendered=$(LC_ALL=C.UTF-8 groff -man -Tutf8 "$page" 2>/dev/null | col -b)
  options=$("$binary" --help 2>&1 | help_options)
  [ -n "$options" ] || fail "$program --help names no option"
  for option in $options; do
    checked=$((checked + 1))
    grep -qe "$option\b" <<<"$rendered" || fail "$program: $option is not in $page"
  done
done

echo "$((checked - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
