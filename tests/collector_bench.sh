#!/bin/bash
# Benchmark (not a test) of tollvane-collector on loopback, on SQLite and on a scratch
# PostgreSQL: acknowledged uploads a second from 32 concurrent clients, then the console's
# list and fleet pages with 100,000 stored reports (the median of 5 requests each).
# Bounded: 100,000 uploads per database, each phase under a time limit.
#
# Usage (as root, for PostgreSQL run as nobody): tests/collector_bench.sh BUILD_DIR
set -euo pipefail

BUILD=$(cd "${1:-build/linux}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
PGBIN=/usr/lib/postgresql/15/bin
REPORT=$HERE/reports/edited-path-loss.txt
WORK=$(mktemp -d /tmp/collector-bench.XXXXXX)
chmod 755 "$WORK"
PIDS=()
cleanup() {
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    [ ! -d "$WORK/pg/data" ] || runuser -u nobody -- "$PGBIN/pg_ctl" -D "$WORK/pg/data" -m fast stop >/dev/null 2>&1 || true
    rm -rf "$WORK"
}
trap cleanup EXIT

median_ms() {  # median_ms TOKEN URL: the median of five requests, in milliseconds
    for _ in 1 2 3 4 5; do
        curl -s -o /dev/null -w '%{time_total}\n' -H "Authorization: Bearer $1" "$2"
    done | sort -n | sed -n 3p | awk '{printf "%.1f", $1 * 1000}'
}

bench() {  # bench NAME DB PORT
    local name=$1 db=$2 port=$3 url=http://127.0.0.1:$3
    printf 'pw\n' | "$BUILD/tollvane-collector" --db "$db" --add-user bench >/dev/null
    local token
    token=$("$BUILD/tollvane-collector" --db "$db" --add-token bench | tail -n 1)
    "$BUILD/tollvane-collector" --db "$db" --listen "127.0.0.1:$port" --rate 0 2>>"$WORK/collector.log" &
    PIDS+=($!)
    sleep 1
    echo "$name: 32 clients, 20,000 uploads: $(timeout 300 "$BUILD/tests/collector_load" 127.0.0.1 "$port" 32 20000 "$REPORT")"
    echo "$name: filling to 100,000: $(timeout 600 "$BUILD/tests/collector_load" 127.0.0.1 "$port" 32 80000 "$REPORT")"
    echo "$name: / $(median_ms "$token" "$url/") ms, /?q=path-loss $(median_ms "$token" "$url/?q=path-loss") ms," \
        "/?q=www.example.com $(median_ms "$token" "$url/?q=www.example.com") ms," \
        "/?q=113.108.81.189 $(median_ms "$token" "$url/?q=113.108.81.189") ms," \
        "/fleet?hours=24 $(median_ms "$token" "$url/fleet?hours=24") ms," \
        "/api/v1/fleet?hours=24 $(median_ms "$token" "$url/api/v1/fleet?hours=24") ms"
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
bench sqlite "sqlite:$WORK/bench.db" 18180
mkdir "$WORK/pg" && chown nobody "$WORK/pg"
runuser -u nobody -- "$PGBIN/initdb" -D "$WORK/pg/data" -U bench --auth=trust -E UTF8 >/dev/null
runuser -u nobody -- "$PGBIN/pg_ctl" -D "$WORK/pg/data" -l "$WORK/pg/log" -w -o "-k $WORK/pg -h 127.0.0.1 -p 15433" start >/dev/null
bench postgresql "postgresql://bench@127.0.0.1:15433/postgres" 18181
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
