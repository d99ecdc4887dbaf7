#!/usr/bin/env bash
# One table synchronisation against a bare client: sqlsim holds N sample tables of 15 columns
# and a target whose tables lack the last 10 (10 N rows of code 4; N defaults to 100).
# bench_listing --sync lists, selects every row and times button22Click from press to its
# notice (backup, enabling step, one statement a row, the refreshed listing). Then, on fresh
# servers, tsql runs the batches that press sent to the target server, in the same order on
# one connection. Both runs must leave the same listing behind (the added columns' defaults,
# code 8, wait for the next round). Prints both medians and their ratio.
#   usage: bench/sync_throughput.sh [N]
#   env:   BUILD (default ./build), REPEATS (default 5)
set -euo pipefail
source "$(dirname "$0")/common.sh"
need "$SQLSIM"
need "$BENCH_LISTING"
REPEATS=${REPEATS:-5}
n=${1:-100}
export TARGET_SIDE=narrow QT_QPA_PLATFORM=offscreen
expected=$(python3 "$BENCH_DIR/make_schema.py" expected "$n" narrow)

windows=() clients=()
for run in $(seq "$REPEATS"); do
    SIM_LOG=$WORK/window.log
    start_sim "$n"
    ${PROFILE:-} "$BENCH_LISTING" --sync "${LISTING_ARGS[@]}" >"$WORK/sync.txt" 2>"$WORK/listing.err" || {
        cat "$WORK/listing.err" >&2
        exit 1
    }
    stop_sim
    read -r _ _ rows _ seconds _ left _ <"$WORK/sync.txt"
    [ "$rows" = "$expected" ] ||
        { echo "window: $rows rows selected (expected $expected), $left left after the sync" >&2; cat "$WORK/sync.txt" >&2; exit 1; }
    windows+=("$seconds")
    # Every batch the target server got after the listing is the press's.
    python3 - "$SIM_LOG" >"$WORK/sync.sql" <<'PY' || exit 1
import json, sys
events = [e for e in map(json.loads, open(sys.argv[1], encoding="utf-8")) if e.get("event") == "batch"]
first = next(k for k, e in enumerate(events)
             if e.get("server") == "target" and e["text"].startswith("select 比较结果"))
for e in events[first + 1:]:
    if e.get("server") == "target":
        sys.stdout.write(e["text"].replace("\r\n", "\n") + "\ngo\n")
PY
    rm -f "$SIM_LOG"
    window_sample=$SAMPLE_PORT
    SIM_LOG=$WORK/client.log
    start_sim "$n"
    # The fresh servers listen on other ports; the statements name the sample's.
    sed -i "s/127\.0\.0\.1,$window_sample\b/127.0.0.1,$SAMPLE_PORT/g" "$WORK/sync.sql"
    t0=$(now)
    on_target "$WORK/sync.sql" "$WORK/sync-out.txt"
    clients+=("$(elapsed "$t0" "$(now)")")
    # Listed again, tsql's run leaves as many rows as the window's.
    prepare_query
    on_target "$WORK/query.sql" "$WORK/rows.txt"
    stop_sim
    rm -f "$SIM_LOG"
    [ "$(row_count)" = "$left" ] || { echo "tsql: $(row_count) rows left after the sync, window $left" >&2; exit 1; }
    echo "run $run: window $seconds s, tsql ${clients[-1]} s, $(grep -c '^go$' "$WORK/sync.sql") batches" >&2
done
w=$(median "${windows[@]}")
c=$(median "${clients[@]}")
printf '%-7s %-6s %-10s %-10s %-6s\n' tables rows window_s tsql_s ratio
printf '%-7s %-6s %-10s %-10s %-6s\n' "$n" "$expected" "$w" "$c" "$(ratio "$w" "$c")"
