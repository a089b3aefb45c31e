#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and builds the Debian package from it, then checks
# both: the files are where they belong, the installed binary runs an installed example, `man`
# finds the installed page, and the package declares its run-time dependencies.
# Usage: check-install.sh BUILD_DIR SOURCE_DIR WITH_LINT(0|1)
set -uo pipefail
build=$1
source=$2
with_lint=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0
failures=0

check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@" > "$scratch/last.log" 2>&1; then
    passed=$((passed + 1))
  else
    echo "FAIL: $what"
    sed 's/^/    /' "$scratch/last.log" | head -20
    failures=$((failures + 1))
  fi
}

same_output() {  # same_output EXPECTED_FILE COMMAND...
  local expected=$1
  shift
  diff <("$@" < /dev/null) "$expected"
}

# What the example prints when the build tree's binary runs it from the source tree.
expected=$scratch/hello.out
"$build/orvane" "$source/examples/hello.ov" > "$expected" < /dev/null
check "the example greets" grep -qx "Hello, world!" "$expected"

# Files every install holds, relative to the prefix.
installed_files=(
  bin/orvane
  share/man/man1/orvane.1
  share/doc/orvane/guide.md
  share/doc/orvane/examples/hello.ov
  share/doc/orvane/examples/bouncing.ov
  share/doc/orvane/images/plasma.png
  share/vim/vimfiles/syntax/orvane.vim
  share/vim/vimfiles/ftdetect/orvane.vim
  share/orvane/editors/orvane.tmLanguage.json
)
[ "$with_lint" = 1 ] && installed_files+=(bin/orvane-lint share/man/man1/orvane-lint.1)

# 1. make install's path: a prefix staged below DESTDIR.
stage=$scratch/stage
check "cmake --install into DESTDIR" \
  env DESTDIR="$stage" cmake --install "$build" --prefix /opt/orvane-test
root=$stage/opt/orvane-test
for file in "${installed_files[@]}"; do
  check "installed $file" test -s "$root/$file"
done
check "nothing installed outside the prefix" \
  test "$(find "$stage" -mindepth 1 -maxdepth 1)" = "$stage/opt"
check "installed binary runs an installed example" \
  same_output "$expected" "$root/bin/orvane" "$root/share/doc/orvane/examples/hello.ov"
check "installed binary prints its version" \
  grep -qx "Orvane version 1.0.3" <("$root/bin/orvane" --version)
if command -v man > /dev/null; then
  check "man finds the installed page" \
    grep -q "interactive loop" <(MANPATH="$root/share/man" MANPAGER=cat man orvane 2>&1)
fi

# 2. The Debian package.
check "cpack builds a .deb" cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/deb"
deb=$(ls "$scratch"/deb/orvane_*.deb 2> /dev/null | head -1)
if [ -n "$deb" ]; then
  info=$(dpkg-deb -I "$deb")
  contents=$(dpkg-deb -c "$deb")
  for field in "Package: orvane" "Version: 1.0.3" "Architecture: $(dpkg --print-architecture)"; do
    check "package field '$field'" grep -qx " $field" <<< "$info"
  done
  depends=$(sed -n 's/^ Depends: //p' <<< "$info")
  # The C++ runtime is linked in; ICU, which the package names, depends on its own.
  for dependency in libsdl2-2.0-0 libicu libedit2 libc6; do
    check "package depends on $dependency" grep -q "\b$dependency" <<< "$depends"
  done
  for file in "${installed_files[@]}"; do
    check "package holds /usr/$file" grep -q " \./usr/$file\$" <<< "$contents"
  done
  check "package unpacks" dpkg-deb -x "$deb" "$scratch/unpacked"
  check "packaged binary runs a packaged example" \
    same_output "$expected" "$scratch/unpacked/usr/bin/orvane" \
    "$scratch/unpacked/usr/share/doc/orvane/examples/hello.ov"
else
  echo "FAIL: no .deb was written"
  failures=$((failures + 1))
fi

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
