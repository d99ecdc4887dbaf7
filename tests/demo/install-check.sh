#!/usr/bin/env bash
# `cmake --install` of a built tree into a fresh prefix: both programs, the desktop entry and
# its icon, and the installed programs start.
set -u
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAILED: $1"; exit 1; }
cmake --install "$build" --prefix "$prefix" >"$prefix/install.log" 2>&1 || { cat "$prefix/install.log"; fail "cmake --install"; }
for program in dbsync sqlsim; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is missing"
done
entry=$prefix/share/applications/dbsync.desktop
[ -f "$entry" ] || fail "no desktop entry"
grep -qx 'Exec=dbsync' "$entry" || fail "desktop entry does not start dbsync"
grep -qx 'Icon=dbsync' "$entry" || fail "desktop entry names no icon"
grep -qx 'Categories=Development;Database;' "$entry" || fail "desktop entry categories"
icon=$prefix/share/icons/hicolor/128x128/apps/dbsync.png
[ -f "$icon" ] || fail "no icon"
# A PNG whose header says 128 x 128.
[ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "icon is no PNG"
[ "$(od -An -tu1 -j16 -N8 "$icon" | tr -s ' ' | sed 's/^ //')" = "0 0 0 128 0 0 0 128" ] || fail "icon is not 128 x 128"
# The installed simulator runs: a bad command line is refused with its usage.
"$prefix/bin/sqlsim" --no-such-option >/dev/null 2>&1
[ $? -eq 2 ] || fail "installed sqlsim does not run"
echo "cmake --install: bin/dbsync, bin/sqlsim, desktop entry and icon in place"
