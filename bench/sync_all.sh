#!/usr/bin/env bash
# The synchronisation of every kind of object against a bare client running the creation
# script. For each size, sqlsim starts with make_objects.py's schema as the sample and times
#   sync:  `dbsync-cli sync all --no-backup` into an empty target database (a new one per run),
#          then checks with `dbsync-cli list all` that nothing is left (exit 0);
#   list:  `dbsync-cli list all` on the synchronised pair, against two tsql processes at once
#          sending each side the catalogue batches the tool sent it (the texts read from
#          sqlsim's log; one batch a side);
# and on a fresh sqlsim, tsql running the creation script into an empty database (one process,
# one connection). Prints medians, the ratios, the tool's peak resident memory and the growth
# per table against the first size (t_grow, 1.00: linear) and the memory against the first
# size's (m_grow).
#   usage: bench/sync_all.sh [SIZE...]        (default 500 1000 2000)
#   env:   BUILD (default ./build), REPEATS (default 3), DBSYNC_CLI, PROFILE (a command put
#          before dbsync-cli in the timed sync, e.g. "perf record -g -o perf.data --")
set -euo pipefail
source "$(dirname "$0")/common.sh"
DBSYNC_CLI=${DBSYNC_CLI:-$BUILD/app/dbsync-cli}
need "$SQLSIM"
need "$DBSYNC_CLI"
REPEATS=${REPEATS:-3}
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(500 1000 2000)
# One password for every login of these servers.
export DBSYNC_SAMPLE_PASSWORD=$SAMPLE_PW DBSYNC_TARGET_PASSWORD=$SAMPLE_PW
: >"$WORK/empty.ini"

# measure OUT CMD...: runs CMD (stdin from $STDIN, default /dev/null; stdout to OUT, stderr to
# $WORK/cmd.err) and prints "seconds peak_rss_mb exit_status".
measure() {
    python3 - "$@" <<'PY'
import os, subprocess, sys, time
out, cmd = sys.argv[1], sys.argv[2:]
with open(os.environ.get("STDIN", "/dev/null"), "rb") as i, open(out, "wb") as o, \
        open(os.environ["WORK"] + "/cmd.err", "wb") as e:
    t0 = time.perf_counter()
    p = subprocess.Popen(cmd, stdin=i, stdout=o, stderr=e)
    _, status, usage = os.wait4(p.pid, 0)
    t = time.perf_counter() - t0
print(f"{t:.4f} {usage.ru_maxrss / 1024:.1f} {os.waitstatus_to_exitcode(status)}")
PY
}
export WORK

# sim_start NAME SERVER=INIT...: sqlsim with these servers, logging batches to $WORK/NAME.log.
sim_start() {
    local name=$1 args=()
    shift
    for s in "$@"; do
        args+=(--server "${s%%=*}=127.0.0.1:0" --login "${s%%=*}:sa:$SAMPLE_PW" --init "${s%%=*}:${s#*=}"
            --backup-dir "${s%%=*}:$WORK/backups")
    done
    mkdir -p "$WORK/backups"
    rm -f "$WORK/ready" "$WORK/$name.log"
    local t0
    t0=$(now)
    "$SQLSIM" "${args[@]}" --ready-file "$WORK/ready" --log "$WORK/$name.log" &
    SIM_PID=$!
    while [ ! -s "$WORK/ready" ]; do
        kill -0 "$SIM_PID" 2>/dev/null || { echo "sqlsim ended before it was ready" >&2; SIM_PID=; exit 1; }
        sleep 0.05
    done
    INIT_SECONDS=$(elapsed "$t0" "$(now)")
    {
        printf '[global]\n    tds version = 7.4\n    client charset = UTF-8\n'
        awk '{ printf "[%s]\n    host = %s\n    port = %s\n", $1, $2, $3 }' "$WORK/ready"
    } >"$WORK/freetds.conf"
    export FREETDSCONF=$WORK/freetds.conf
}
port() { awk -v s="$1" '$1 == s { print $3 }' "$WORK/ready"; }

# tsql_ok SERVER DB FILE OUT: the script through tsql, failing on any error message.
tsql_ok() {
    tsql -S "$1" -U sa -P "$SAMPLE_PW" -D "$2" -o q <"$3" >"$4" 2>"$WORK/tsql.err"
    if grep -Eq 'severity (1[1-9]|2[0-9])|^tsql: error' "$WORK/tsql.err"; then
        echo "tsql failed on $1:" >&2
        head -20 "$WORK/tsql.err" >&2
        exit 1
    fi
}
new_database() { printf 'create database %s\ngo\n' "$2" >"$WORK/create.sql"; tsql_ok "$1" master "$WORK/create.sql" /dev/null; }

cli() {
    local verb=$1 db=$2
    shift 2
    "$DBSYNC_CLI" "$verb" all --settings "$WORK/empty.ini" \
        --sample "127.0.0.1,$(port sample)" --sample-login sa --sample-db "$SAMPLE_DB" \
        --target "127.0.0.1,$(port target)" --target-login sa --target-db "$db" "$@"
}

printf '%-6s %-7s %-9s %-9s %-6s %-7s %-9s %-9s %-6s %-7s %-7s %-7s\n' tables stmts sync_s bare_s ratio rss_mb \
    list_s blist_s ratio t_grow m_grow init_s
base_n='' base_t='' base_m=''
for n in "${sizes[@]}"; do
    python3 "$BENCH_DIR/make_objects.py" "$n" "$SAMPLE_DB" >"$WORK/sample.sql"
    python3 "$BENCH_DIR/make_objects.py" empty "$TARGET_DB" >"$WORK/target.sql"
    tail -n +5 "$WORK/sample.sql" >"$WORK/body.sql"  # without its create database / use

    # The tool: a fresh target database per run, the sample loaded once.
    sim_start tool "sample=$WORK/sample.sql" "target=$WORK/target.sql"
    init_s=$INIT_SECONDS
    syncs=() rss=()
    for r in $(seq "$REPEATS"); do
        new_database target "sync$r"
        # shellcheck disable=SC2086  # PROFILE is a command line
        read -r t m rc < <(measure "$WORK/sync.out" ${PROFILE:-} "$DBSYNC_CLI" sync all --settings "$WORK/empty.ini" \
            --sample "127.0.0.1,$(port sample)" --sample-login sa --sample-db "$SAMPLE_DB" \
            --target "127.0.0.1,$(port target)" --target-login sa --target-db "sync$r" --no-backup)
        [ "$rc" = 0 ] || { echo "sync all exited $rc at $n tables:" >&2; tail -5 "$WORK/cmd.err" >&2; exit 1; }
        cli list "sync$r" >"$WORK/left.tsv" || { echo "list all after sync left rows:" >&2; head "$WORK/left.tsv" >&2; exit 1; }
        syncs+=("$t") rss+=("$m")
    done
    stmts=$(grep -cE $'^GO\r?$' "$WORK/sync.out" || true)
    # The listing on the synchronised pair, then its catalogue queries by tsql.
    lists=()
    lines_before=$(wc -l <"$WORK/tool.log")
    for r in $(seq "$REPEATS"); do
        read -r t m rc < <(measure "$WORK/list.tsv" "$DBSYNC_CLI" list all --settings "$WORK/empty.ini" \
            --sample "127.0.0.1,$(port sample)" --sample-login sa --sample-db "$SAMPLE_DB" \
            --target "127.0.0.1,$(port target)" --target-login sa --target-db sync1)
        [ "$rc" = 0 ] || { echo "list all exited $rc" >&2; exit 1; }
        lists+=("$t")
    done
    # The catalogue batches each side received during the last listing, as they were sent.
    tail -n +"$((lines_before + 1))" "$WORK/tool.log" | python3 -c '
import json, sys
work, runs = sys.argv[1], int(sys.argv[2])
texts = {"sample": [], "target": []}
for line in sys.stdin:
    e = json.loads(line)
    if e.get("event") == "batch" and ".sys." in e["text"] and e["server"] in texts:
        texts[e["server"]].append(e["text"])
for side, t in texts.items():
    if not t or len(t) % runs:
        sys.exit(f"{side}: {len(t)} catalogue batches in the log for {runs} listings")
    last = t[-(len(t) // runs):]
    open(f"{work}/{side}-catalog.sql", "w").write("".join(q.rstrip() + "\ngo\n" for q in last))
' "$WORK" "$REPEATS"
    blists=()
    for r in $(seq "$REPEATS"); do
        t0=$(now)
        tsql_ok sample "$SAMPLE_DB" "$WORK/sample-catalog.sql" "$WORK/sample-rows.txt" &
        bs=$!
        tsql_ok target sync1 "$WORK/target-catalog.sql" "$WORK/target-rows.txt"
        wait "$bs"
        blists+=("$(elapsed "$t0" "$(now)")")
    done
    stop_sim

    # The bare client on a fresh server: the creation script into an empty database.
    sim_start bare "target=$WORK/target.sql"
    bares=()
    for r in $(seq "$REPEATS"); do
        new_database target "bare$r"
        t0=$(now)
        tsql_ok target "bare$r" "$WORK/body.sql" /dev/null
        bares+=("$(elapsed "$t0" "$(now)")")
    done
    stop_sim

    s=$(median "${syncs[@]}") b=$(median "${bares[@]}") m=$(median "${rss[@]}")
    l=$(median "${lists[@]}") bl=$(median "${blists[@]}")
    if [ -z "$base_n" ]; then base_n=$n base_t=$s base_m=$m; fi
    per() { python3 -c "print(f'{($1 / $n) / ($2 / $base_n):.2f}')"; }
    printf '%-6s %-7s %-9s %-9s %-6s %-7s %-9s %-9s %-6s %-7s %-7s %-7s\n' "$n" "$stmts" "$s" "$b" "$(ratio "$s" "$b")" \
        "$m" "$l" "$bl" "$(ratio "$l" "$bl")" "$(per "$s" "$base_t")" "$(ratio "$m" "$base_m")" "$init_s"
done
echo "load: $(uptime | sed 's/.*load average: //')"
