#!/usr/bin/env bash
# How the column comparison query's time grows with the number of tables: for each size,
# sqlsim holds a sample and a target database of N tables × 15 columns with a known share of
# differences; tsql (FreeTDS) runs the query the tool sends (its exact text) against the target server.
# Prints the median of REPEATS runs per size, the row count against the expected one, and the
# growth against the first size and against linear growth.
#   usage: bench/column_query_scale.sh [SIZE...]      (default 200 500 1000 2000)
#   env:   BUILD (default ./build), REPEATS (default 5)
set -euo pipefail
source "$(dirname "$0")/common.sh"
need "$SQLSIM"
need "$BENCH_LISTING"
REPEATS=${REPEATS:-5}
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(200 500 1000 2000)

printf '%-7s %-9s %-11s %-10s %-8s %-8s\n' tables init_s query_s rows growth vs_linear
base_n='' base_t=''
for n in "${sizes[@]}"; do
    start_sim "$n"
    prepare_query
    times=()
    for _ in $(seq "$REPEATS"); do
        times+=("$(time_client)")
    done
    t=$(median "${times[@]}")
    rows=$(row_count)
    expected=$(python3 "$BENCH_DIR/make_schema.py" expected "$n")
    [ "$rows" = "$expected" ] || echo "warning: $rows rows, expected $expected" >&2
    stop_sim
    if [ -z "$base_n" ]; then base_n=$n base_t=$t; fi
    growth=$(ratio "$t" "$base_t")
    # 1.00 is linear; above it, worse than linear.
    vs_linear=$(python3 -c "print(f'{($t / $base_t) / ($n / $base_n):.2f}')")
    printf '%-7s %-9s %-11s %-10s %-8s %-8s\n' "$n" "$INIT_SECONDS" "$t" "$rows/$expected" "$growth" "$vs_linear"
done
