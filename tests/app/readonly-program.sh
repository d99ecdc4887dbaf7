#!/usr/bin/env bash
# Runs the settings test from a folder its user cannot write, as an installed program: as root
# the test runs as nobody, since root may write anywhere. Usage: readonly-program.sh TEST-PROGRAM
set -eu
here=$(mktemp -d)
trap 'chmod -R u+w "$here"; rm -rf "$here"' EXIT
chmod 755 "$here"
mkdir "$here/bin" "$here/home"
cp "$1" "$here/bin/"
chmod 555 "$here/bin"
run=()
if [ "$(id -u)" = 0 ]; then
  chown nobody "$here/home"
  run=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
cd "$here/home"
env HOME="$here/home" XDG_CONFIG_HOME="$here/home/.config" \
  QT_QPA_PLATFORM=offscreen "${run[@]}" "$here/bin/$(basename "$1")" \
  unwritableProgramFolderKeepsTheFileInTheUserFolder 2>&1 | tee "$here/log"
grep -q '^PASS   : Form43SettingsTest::unwritableProgramFolderKeepsTheFileInTheUserFolder' "$here/log"
