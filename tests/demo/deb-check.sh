#!/usr/bin/env bash
# `cpack -G DEB` of a built tree: the package's name, its files, and Depends from the binaries
# plus the ODBC packages the tool loads at run time.
#   usage: deb-check.sh BUILD-DIR WITH-CLI(0|1)
set -u
build=$1 with_cli=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAILED: $1"; exit 1; }
(cd "$out" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >cpack.log 2>&1) ||
  { cat "$out/cpack.log"; fail "cpack"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb=$out/dbsync_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { ls "$out"; fail "no $(basename "$deb")"; }
files=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
expected=(./usr/bin/dbsync ./usr/bin/sqlsim ./usr/share/applications/dbsync.desktop
          ./usr/share/icons/hicolor/128x128/apps/dbsync.png)
[ "$with_cli" = 1 ] && expected+=(./usr/bin/dbsync-cli)
for f in "${expected[@]}"; do
  grep -qx "$f" <<<"$files" || fail "$f is not in the package"
done
# Nothing of the build or the tests leaks in.
stray=$(grep -v -e '/$' -e '^./usr/bin/\(dbsync\|dbsync-cli\|sqlsim\)$' -e '^./usr/share/applications/dbsync.desktop$' \
        -e '^./usr/share/icons/hicolor/128x128/apps/dbsync.png$' <<<"$files")
[ -z "$stray" ] || fail "unexpected files: $stray"
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6core6 libodbc tdsodbc unixodbc libc6; do
  grep -Eq "(^|, )$d[ ,(]|(^|, )$d\$|(^|, )$d[^ ,]* " <<<"$depends" || fail "Depends lacks $d: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = dbsync ] || fail "package name"
# The long description as apt shows it: three lines of text, nothing of CMake's list syntax.
description=$(dpkg-deb -f "$deb" Description)
[ "$(wc -l <<<"$description")" = 4 ] || fail "description lines: $description"
! grep -q ';' <<<"$description" || fail "stray ; in the description: $description"
grep -q '^ dbsync lists the views' <<<"$description" || fail "description: $description"
echo "$(basename "$deb"): $(wc -l <<<"$files") entries; Depends: $depends"
