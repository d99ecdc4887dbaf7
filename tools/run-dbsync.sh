#!/usr/bin/env bash
# Sets up, builds and starts the tool on the demo: sqlsim on loopback with two simulated
# SQL Servers, "sample" and "target", loaded from demo/*.sql, and a settings file for them
# next to the program. Closing the tool stops the simulator.
# DBSYNC_BUILD_DIR names another build folder than build/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${DBSYNC_BUILD_DIR:-build}

# Before anything slow: the tool is a window and needs a display.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run-dbsync: no display found (DISPLAY and WAYLAND_DISPLAY are not set), so the tool's" >&2
  echo "window cannot open. Run it under a virtual X server instead:" >&2
  echo "  xvfb-run -a bash tools/run-dbsync.sh" >&2
  if ! command -v xvfb-run >/dev/null; then
    echo "xvfb-run comes with Debian's packages xvfb and xauth: sudo apt-get install xvfb xauth" >&2
  fi
  exit 1
fi

bash tools/setup-debian.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target dbsync sqlsim dbsync-demo-settings

demo=$(cd "$build" && pwd)/demo
rm -rf "$demo"
mkdir -p "$demo/sample-c" "$demo/target-c"

# The backup folders stand for each server's C:\ drive.
"$build/sim/sqlsim" \
  --server sample=127.0.0.1:0 --server target=127.0.0.1:0 \
  --login sample:sa:demo-sample --login target:sa:demo-target \
  --init sample:demo/sample-database.sql --init sample:demo/sample.sql \
  --init target:demo/target-database.sql --init target:demo/target.sql \
  --backup-dir sample:"$demo/sample-c" --backup-dir target:"$demo/target-c" \
  --log "$demo/sqlsim.log" --ready-file "$demo/ready" 2>"$demo/sqlsim.err" &
sim=$!
stop_sim() {
  if kill -0 "$sim" 2>/dev/null; then
    kill -TERM "$sim"
    wait "$sim" || true
    echo "run-dbsync: the simulator has stopped."
  fi
}
trap stop_sim EXIT
trap 'exit 130' INT TERM

for _ in $(seq 300); do
  [ -s "$demo/ready" ] && break
  if ! kill -0 "$sim" 2>/dev/null; then
    echo "run-dbsync: sqlsim did not start:" >&2
    cat "$demo/sqlsim.err" >&2
    exit 1
  fi
  sleep 0.1
done
if [ ! -s "$demo/ready" ]; then
  echo "run-dbsync: sqlsim was not ready after 30 seconds." >&2
  exit 1
fi
sample_port=$(awk '$1 == "sample" { print $3 }' "$demo/ready")
target_port=$(awk '$1 == "target" { print $3 }' "$demo/ready")

# The tool reads myini.ini from its own folder. A file there that an earlier demo run did not
# write holds the user's own servers: keep a copy before replacing it.
settings=$build/app/myini.ini
if [ -f "$settings" ] && ! cmp -s "$settings" "$build/app/.myini.ini.demo"; then
  saved=$settings.before-demo-$(date +%Y%m%d%H%M%S)
  cp -p "$settings" "$saved"
  echo "run-dbsync: kept your own settings file as $saved"
fi
rm -f "$settings"
"$build/tools/dbsync-demo-settings" "$settings" \
  "127.0.0.1,$sample_port" sa demo-sample dbsync_demo_sample \
  "127.0.0.1,$target_port" sa demo-target dbsync_demo_target
cp "$settings" "$build/app/.myini.ini.demo"

cat <<EOF
run-dbsync: the demo servers are up:
  sample  127.0.0.1,$sample_port  login sa / demo-sample  database dbsync_demo_sample
  target  127.0.0.1,$target_port  login sa / demo-target  database dbsync_demo_target
Press "读取数据连接参数", then "列出表详细区别" or "列出存储过程区别".
Backups land in $demo/target-c. Close the window to stop the servers.
EOF
"$build/app/dbsync"
