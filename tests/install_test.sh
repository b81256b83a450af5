#!/bin/sh
# Installs the build into a temporary DESTDIR and checks that every program
# and its man page are there, that each installed program answers --version
# with the project's version, and that every page renders without warnings.
# Usage: install_test.sh <build dir> <version> <program>...
set -eu
build=$1 version=$2
shift 2

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --prefix /usr > "$root.log" 2>&1 || { cat "$root.log"; exit 1; }
rm -f "$root.log"

fail() {
    echo "FAIL: $*"
    exit 1
}

for program in "$@"; do
    [ -x "$root/usr/bin/$program" ] || fail "$program is not installed in bin/"
    page="$root/usr/share/man/man1/$program.1"
    [ -f "$page" ] || fail "no man page for $program"
    answer=$("$root/usr/bin/$program" --version < /dev/null)
    [ "$answer" = "$program $version" ] || fail "$program --version says '$answer'"
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 > /dev/null)
    [ -z "$warnings" ] || fail "$program's page: $warnings"
done
[ -f "$root/usr/share/doc/escala/README.md" ] || fail "README not installed"
ls "$root"/usr/share/doc/escala/*.tsk > /dev/null 2>&1 || fail "no sample task file installed"
echo "installed and answering: $*"
