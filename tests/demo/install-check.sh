#!/usr/bin/env bash
# `cmake --install` of a built tree into a fresh prefix: both programs, the desktop entry and
# its icon, and the installed programs start; the installed dbsync-cli finds the settings file
# in the user's configuration folder, where the installed window keeps it.
set -u
build=$1
prefix=$(mktemp -d)
sim=
trap '[ -n "$sim" ] && kill "$sim"; rm -rf "$prefix"' EXIT
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

cli=$prefix/bin/dbsync-cli
if [ -x "$cli" ]; then
  "$cli" --version | grep -Eqx 'dbsync-cli [0-9]+\.[0-9]+\.[0-9]+' || fail "dbsync-cli --version"
  "$prefix/bin/sqlsim" --server sample=127.0.0.1:0 --server target=127.0.0.1:0 \
    --login sample:sa:pw1 --login target:sa:pw2 --database sample:s --database target:t \
    --ready-file "$prefix/ready" --exit-with-parent >/dev/null &
  sim=$!
  for _ in $(seq 100); do [ -s "$prefix/ready" ] && break; sleep 0.1; done
  port() { awk -v n="$1" '$1 == n { print $3 }' "$prefix/ready"; }
  config=$prefix/home/.config
  mkdir -p "$config/dbsync"
  "$build/tools/dbsync-demo-settings" "$config/dbsync/myini.ini" "127.0.0.1,$(port sample)" sa pw1 s \
    "127.0.0.1,$(port target)" sa pw2 t || fail "writing the settings file"
  [ "$(stat -c %a "$config/dbsync/myini.ini")" = 600 ] || fail "the settings file is not the owner's alone"
  [ ! -e "$prefix/bin/myini.ini" ] || fail "a settings file beside the installed program"
  export XDG_CONFIG_HOME=$config
  "$cli" --help | grep -qF "$config/dbsync/myini.ini  （使用中）" || fail "--help does not name the file in use"
  env -u DBSYNC_SAMPLE_PASSWORD -u DBSYNC_TARGET_PASSWORD "$cli" list tables >"$prefix/list.tsv" 2>"$prefix/list.err" ||
    fail "installed dbsync-cli without the settings file: $(cat "$prefix/list.err")"
  grep -q '^比较结果' "$prefix/list.tsv" || fail "no listing"
fi
echo "cmake --install: bin/dbsync, bin/sqlsim, desktop entry and icon in place; dbsync-cli reads ~/.config/dbsync/myini.ini"
