# shellcheck shell=bash
# Shared by the benchmark scripts: finds the built programs, starts sqlsim with two servers
# holding N generated tables each, runs SQL through tsql and takes medians.
# Sourced, not run. Needs python3 and tsql (freetds-bin).

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD=${BUILD:-$BENCH_DIR/../build}
SQLSIM=${SQLSIM:-$BUILD/sim/sqlsim}
BENCH_LISTING=${BENCH_LISTING:-$BUILD/bench/bench_listing}
SAMPLE_DB=sampledb
TARGET_DB=targetdb
SAMPLE_PW=sample-pw
TARGET_PW=target-pw

WORK=$(mktemp -d "${TMPDIR:-/tmp}/dbsync-bench.XXXXXX")
SIM_PID=
cleanup() {
    stop_sim
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
# Qt wants a private runtime folder even offscreen.
export XDG_RUNTIME_DIR=$WORK/runtime
mkdir -m 0700 "$XDG_RUNTIME_DIR"

need() {
    [ -x "$1" ] || { echo "missing $1 (build it, or set BUILD / SQLSIM / BENCH_LISTING)" >&2; exit 2; }
}
command -v tsql >/dev/null || { echo "tsql not found (Debian package freetds-bin)" >&2; exit 2; }
command -v python3 >/dev/null || { echo "python3 not found" >&2; exit 2; }

now() { echo "${EPOCHREALTIME/,/.}"; }
elapsed() { python3 -c "print(f'{$2 - $1:.4f}')"; }
# The median of the numbers given as arguments.
median() { python3 -c 'import statistics,sys; print(f"{statistics.median(map(float, sys.argv[1:])):.4f}")' "$@"; }
ratio() { python3 -c "print(f'{$1 / $2:.2f}')"; }

# start_sim N: sqlsim with servers "sample" and "target", N tables each (TARGET_SIDE picks the
# target's kind, make_schema.py's target, empty or narrow; default target); sets SAMPLE_PORT,
# TARGET_PORT, LISTING_ARGS (the window's fields for bench_listing) and INIT_SECONDS (start
# until ready, mostly the two --init scripts).
start_sim() {
    local n=$1
    python3 "$BENCH_DIR/make_schema.py" "$n" sample "$SAMPLE_DB" >"$WORK/sample.sql"
    python3 "$BENCH_DIR/make_schema.py" "$n" "${TARGET_SIDE:-target}" "$TARGET_DB" >"$WORK/target.sql"
    if [ -n "${ROWS_PER_TABLE:-}" ]; then
        python3 "$BENCH_DIR/make_rows.py" "$n" "$ROWS_PER_TABLE" sample >>"$WORK/sample.sql"
        python3 "$BENCH_DIR/make_rows.py" "$n" "$ROWS_PER_TABLE" target >>"$WORK/target.sql"
    fi
    rm -f "$WORK/ready"
    mkdir -p "$WORK/sample-c" "$WORK/target-c"
    local t0
    t0=$(now)
    "$SQLSIM" --server sample=127.0.0.1:0 --server target=127.0.0.1:0 \
        --login "sample:sa:$SAMPLE_PW" --login "target:sa:$TARGET_PW" \
        --init "sample:$WORK/sample.sql" --init "target:$WORK/target.sql" \
        --backup-dir "sample:$WORK/sample-c" --backup-dir "target:$WORK/target-c" \
        --ready-file "$WORK/ready" ${SIM_LOG:+--log "$SIM_LOG"} &
    SIM_PID=$!
    while [ ! -s "$WORK/ready" ]; do
        kill -0 "$SIM_PID" 2>/dev/null || { echo "sqlsim ended before it was ready" >&2; SIM_PID=; exit 1; }
        sleep 0.05
    done
    # shellcheck disable=SC2034  # read by the scripts
    INIT_SECONDS=$(elapsed "$t0" "$(now)")
    SAMPLE_PORT=$(awk '$1 == "sample" { print $3 }' "$WORK/ready")
    TARGET_PORT=$(awk '$1 == "target" { print $3 }' "$WORK/ready")
    # tsql finds the servers by name in a freetds.conf of our own.
    cat >"$WORK/freetds.conf" <<CONF
[global]
    tds version = 7.4
    client charset = UTF-8
[sample]
    host = 127.0.0.1
    port = $SAMPLE_PORT
[target]
    host = 127.0.0.1
    port = $TARGET_PORT
CONF
    export FREETDSCONF=$WORK/freetds.conf
    LISTING_ARGS=(--sample "127.0.0.1,$SAMPLE_PORT" --sample-login sa --sample-password "$SAMPLE_PW"
        --sample-db "$SAMPLE_DB" --target "127.0.0.1,$TARGET_PORT" --target-login sa
        --target-password "$TARGET_PW" --target-db "$TARGET_DB")
}

stop_sim() {
    if [ -n "$SIM_PID" ]; then
        kill "$SIM_PID" 2>/dev/null
        wait "$SIM_PID" 2>/dev/null
        SIM_PID=
    fi
}

# on_target FILE OUT: tsql runs the script (batches ended by "go") on the target database;
# the result rows, after one header line, go to OUT. bsqldb would be the plainer client, but
# DB-Library refuses the listing's sql_variant column ("type 98 not supported, sorry").
# tsql exits 0 whatever the server says, so its messages are read for errors.
on_target() {
    tsql -S target -U sa -P "$TARGET_PW" -D "$TARGET_DB" -o q <"$1" >"$2" 2>"$WORK/tsql.err"
    if grep -Eq 'severity (1[1-9]|2[0-9])|^tsql: error' "$WORK/tsql.err"; then
        echo "tsql failed:" >&2
        cat "$WORK/tsql.err" >&2
        exit 1
    fi
}

# Writes the query text the tool sends to $WORK/query.sql and runs the enabling statements
# on the target server, which OPENDATASOURCE needs.
prepare_query() {
    "$BENCH_LISTING" --print-query "${LISTING_ARGS[@]}" >"$WORK/query.sql" || exit 1
    printf '\ngo\n' >>"$WORK/query.sql"
    printf '%s\n' "exec sp_configure'show advanced options',1" go reconfigure go \
        "exec sp_configure'Ad Hoc Distributed Queries',1" go reconfigure go >"$WORK/enable.sql"
    on_target "$WORK/enable.sql" /dev/null
}

# time_client: seconds for one tsql run of the query (process start to exit); the rows go to
# $WORK/rows.txt.
time_client() {
    local t0
    t0=$(now)
    on_target "$WORK/query.sql" "$WORK/rows.txt"
    elapsed "$t0" "$(now)"
}
row_count() { tail -n +2 "$WORK/rows.txt" | grep -c .; }

# check_same_text: with SIM_LOG set, every column listing batch the target server received
# (the window's and tsql's) is the same text; tsql adds a line break after the last line.
check_same_text() {
    python3 - "$SIM_LOG" <<'PY' || exit 1
import json, sys
texts = {e["text"].removesuffix("\n") for e in map(json.loads, open(sys.argv[1], encoding="utf-8"))
         if e.get("event") == "batch" and e.get("server") == "target"
         and e["text"].startswith("select 比较结果")}
if len(texts) != 1:
    sys.exit(f"the window and tsql sent {len(texts)} different listing texts")
PY
}
