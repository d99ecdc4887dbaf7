#!/usr/bin/env bash
# The local comparison against the server-side one: for each size, sqlsim holds a sample and a
# target database of N tables × 15 columns (make_schema.py's share of differences), and
# bench_listing times Button14Click from press to filled grid both ways in one window run each:
# the target server's one query through OPENDATASOURCE, and the tool reading each side on its
# own connection and joining them. Prints both medians, local/server, and each way's growth
# per table against the first size (1.00 is linear).
#   usage: bench/local_listing.sh [SIZE...]        (default 500 1000 2000)
#   env:   BUILD (default ./build), REPEATS (default 5), TARGET_SIDE (as listing_overhead.sh)
set -euo pipefail
source "$(dirname "$0")/common.sh"
need "$SQLSIM"
need "$BENCH_LISTING"
REPEATS=${REPEATS:-5}
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(500 1000 2000)
export QT_QPA_PLATFORM=offscreen

# press_medians MODE: the median press time and the grid's rows.
press_median() {
    "$BENCH_LISTING" --presses "$REPEATS" --compare "$1" "${LISTING_ARGS[@]}" >"$WORK/presses-$1.txt" \
        2>"$WORK/listing.err" || { cat "$WORK/listing.err" >&2; exit 1; }
    mapfile -t presses < <(awk '{ print $6 }' "$WORK/presses-$1.txt")
    echo "$(median "${presses[@]}") $(awk 'END { print $4 }' "$WORK/presses-$1.txt")"
}

printf '%-7s %-8s %-10s %-10s %-12s %-14s %-13s\n' tables rows server_s local_s local/server server_growth local_growth
base_n='' base_s='' base_l=''
for n in "${sizes[@]}"; do
    start_sim "$n"
    read -r s rows_s < <(press_median server)
    read -r l rows_l < <(press_median local)
    stop_sim
    [ "$rows_s" = "$rows_l" ] || { echo "server-side $rows_s rows, local $rows_l" >&2; exit 1; }
    if [ -z "$base_n" ]; then base_n=$n base_s=$s base_l=$l; fi
    per() { python3 -c "print(f'{($1 / $n) / ($2 / $base_n):.2f}')"; }
    printf '%-7s %-8s %-10s %-10s %-12s %-14s %-13s\n' "$n" "$rows_s" "$s" "$l" "$(ratio "$l" "$s")" \
        "$(per "$s" "$base_s")" "$(per "$l" "$base_l")"
done
