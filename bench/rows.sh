#!/usr/bin/env bash
# User-table rows in sqlsim: (1) 100,000 rows inserted by tsql in batches of 1,000 row lists,
# (2) the column listing on N tables of 15 columns, empty and with ROWS rows in every table of
# both sides (the listing reads only the catalogue, so the two should take the same time).
#   usage: bench/rows.sh [N] [ROWS]        (default 2000 100)
#   env:   BUILD (default ./build), REPEATS (default 5)
set -euo pipefail
source "$(dirname "$0")/common.sh"
need "$SQLSIM"
need "$BENCH_LISTING"
REPEATS=${REPEATS:-5}
n=${1:-2000}
per_table=${2:-100}

# (1) Inserting: one tsql session, 100 batches.
start_sim 10
python3 - "$WORK/insert.sql" <<'PY'
import sys
with open(sys.argv[1], "w", encoding="utf-8") as out:
    out.write("create table bulk (id int not null primary key, name nvarchar(40) null, amount decimal(12,2) null, "
              "made datetime null)\ngo\n")
    for b in range(100):
        rows = ", ".join(f"({k}, N'行 {k}', {k}.75, '2024-05-{1 + k % 28:02d} 10:00:00')"
                         for k in range(b * 1000, b * 1000 + 1000))
        out.write(f"insert into bulk values {rows}\ngo\n")
    out.write("select count(*) from bulk\ngo\n")
PY
t0=$(now)
on_target "$WORK/insert.sql" "$WORK/count.txt"
insert_s=$(elapsed "$t0" "$(now)")
count=$(tail -n 1 "$WORK/count.txt" | tr -d '[:space:]')
stop_sim
printf 'insert 100000 rows (100 batches of 1000): %s s, count %s\n' "$insert_s" "$count"

# (2) The listing, empty and with rows.
printf '%-7s %-9s %-10s %-10s %-10s\n' tables rows/table init_s listing_s grid_rows
for rows in 0 "$per_table"; do
    if [ "$rows" = 0 ]; then unset ROWS_PER_TABLE; else export ROWS_PER_TABLE=$rows; fi
    start_sim "$n"
    prepare_query
    times=()
    for _ in $(seq "$REPEATS"); do times+=("$(time_client)"); done
    printf '%-7s %-9s %-10s %-10s %-10s\n' "$n" "$rows" "$INIT_SECONDS" "$(median "${times[@]}")" "$(row_count)"
    stop_sim
done
