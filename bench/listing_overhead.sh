#!/usr/bin/env bash
# The tool's own overhead over a bare client: for each size, sqlsim holds a sample and a target
# database of N tables × 15 columns with a known share of differences; bench_listing times
# Button14Click from press to filled grid (the window offscreen) and tsql (FreeTDS) runs the same
# query text against the same server. Prints both medians, their ratio and the growth with size.
#   usage: bench/listing_overhead.sh [SIZE...]        (default 200 1000 2000)
#   env:   BUILD (default ./build), REPEATS (default 5), TARGET_SIDE (default target; empty
#          gives the big listing: every sample table missing, 15 rows a table)
set -euo pipefail
source "$(dirname "$0")/common.sh"
need "$SQLSIM"
need "$BENCH_LISTING"
REPEATS=${REPEATS:-5}
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(200 1000 2000)
export QT_QPA_PLATFORM=offscreen
SIM_LOG=$WORK/sim.log

printf '%-7s %-12s %-10s %-10s %-6s %-14s %-12s %-7s\n' tables rows listing_s tsql_s ratio listing_growth tsql_growth rss_mb
base_l='' base_c=''
for n in "${sizes[@]}"; do
    start_sim "$n"
    prepare_query
    expected=$(python3 "$BENCH_DIR/make_schema.py" expected "$n" "${TARGET_SIDE:-target}")
    # One window, REPEATS presses: each press reconnects, as the command always does.
    # Qt's offscreen plugin chatters on stderr; it is shown only when the run fails.
    "$BENCH_LISTING" --presses "$REPEATS" "${LISTING_ARGS[@]}" >"$WORK/presses.txt" 2>"$WORK/listing.err" || {
        cat "$WORK/listing.err" >&2
        exit 1
    }
    mapfile -t presses < <(awk '{ print $6 }' "$WORK/presses.txt")
    grid_rows=$(awk 'END { print $4 }' "$WORK/presses.txt")
    rss=$(awk 'END { print $8 }' "$WORK/presses.txt")
    times=()
    for _ in $(seq "$REPEATS"); do
        times+=("$(time_client)")
    done
    stop_sim
    check_same_text
    rm -f "$SIM_LOG"
    l=$(median "${presses[@]}")
    b=$(median "${times[@]}")
    rows=$(row_count)
    [ "$grid_rows" = "$expected" ] && [ "$rows" = "$expected" ] ||
        echo "warning: grid $grid_rows rows, tsql $rows, expected $expected" >&2
    if [ -z "$base_l" ]; then base_l=$l base_c=$b; fi
    printf '%-7s %-12s %-10s %-10s %-6s %-14s %-12s %-7s\n' "$n" "$grid_rows/$expected" "$l" "$b" \
        "$(ratio "$l" "$b")" "$(ratio "$l" "$base_l")" "$(ratio "$b" "$base_c")" "$rss"
done
