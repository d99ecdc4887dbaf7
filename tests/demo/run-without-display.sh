#!/usr/bin/env bash
# tools/run-dbsync.sh without a display: it fails at once, before installing or building
# anything, and says how to run it under Xvfb.
set -u
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM bash "$1/tools/run-dbsync.sh" 2>&1 </dev/null)
rc=$?
fail() { echo "FAILED: $1"; echo "--- output:"; echo "$out"; exit 1; }
[ "$rc" -ne 0 ] || fail "exit code 0"
grep -qF 'xvfb-run -a bash tools/run-dbsync.sh' <<<"$out" || fail "no xvfb-run hint"
grep -qi 'no display' <<<"$out" || fail "does not say that there is no display"
[ "$(wc -l <<<"$out")" -le 5 ] || fail "did more than explain"
echo "run-dbsync.sh without a display: exit $rc with the xvfb-run hint"
