#!/bin/bash
# End-to-end check of tollvane-collector, in a private network namespace (loopback only),
# on SQLite and on a PostgreSQL started here in a scratch folder:
#  - --add-user (a password of any characters, on standard input) and --add-token on a
#    fresh database, before the server has ever run;
#  - tollvane --upload prints "FILE: TICKET" and exits 2 for a file that is no report;
#    it redacts text and JSON reports unless --no-redact (a host name and a LAN address
#    held out of the collector);
#  - a repeated Idempotency-Key gets the same ticket and stores nothing twice;
#  - 413 over 2 MiB, 400 with a reason for a malformed report, nothing stored for either;
#    401 for the desk's API without a login; 429 past the upload rate;
#  - the JSON API with a bearer token: the report, and the fleet grouped by hop;
#  - kill -9 during a bounded load of 32 clients: every acknowledged ticket is there after
#    the restart;
#  - (SQLite) the console in headless Chromium through puppeteer-core: log in, search by
#    ticket, a whois answer's <script> shown as text, the path chart with its lossy hop
#    marked, the fleet counts.
#
# Usage (as root): tests/e2e/collector_check.sh BUILD_DIR   (build/linux, or build)
# It fails, naming them, when PostgreSQL, Chromium, Node or puppeteer-core are missing
# (scripts/install-deps.sh all installs them, puppeteer-core by `npm ci`).
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
BUILD=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib.sh"
[ -x "$BUILD/tollvane-collector" ] || [ ! -x "$BUILD/linux/tollvane-collector" ] || BUILD=$BUILD/linux
for program in tollvane tollvane-collector tests/collector_load; do
    [ -x "$BUILD/$program" ] || { echo "no $program in $BUILD" >&2; exit 2; }
done
PGBIN=/usr/lib/postgresql/15/bin
e2e_require_root collector_check "it needs unshare -n and runs PostgreSQL as nobody"
e2e_require_tools collector_check curl sqlite3 psql runuser node /usr/bin/chromium "$PGBIN/initdb" "$PGBIN/pg_ctl"
[ -d "$HERE/console/node_modules/puppeteer-core" ] ||
    { echo "collector_check: FAIL - puppeteer-core is not installed (cd tests/e2e/console && npm ci)" >&2; exit 2; }
e2e_enter_namespace 240 "$0" "$@"
e2e_make_work collector-check
W=$E2E_WORK
REPORTS=$HERE/../reports
PASSWORD='p@ss wörd "<x>'\''; --'

failed=0
ok() { echo "ok - $*"; }
bad() { echo "FAIL - $*"; failed=1; }
expect() {  # expect DESCRIPTION ACTUAL WANTED
    if [ "$2" = "$3" ]; then ok "$1"; else bad "$1 (got '$2', wanted '$3')"; fi
}

# A report whose registrar line is markup, as a hostile whois server could answer.
sed 's|Registrar: Loopback Test Registrar|Registrar: <script>window.pwned=1</script>|' \
    "$REPORTS/edited-path-loss.txt" >"$W/hostile.txt"
"$BUILD/tollvane" --convert "$REPORTS/edited-path-loss.txt" -o "$W/path-loss.json"
# Personal data that must not reach the desk unless the user says so: the computer's name
# and the LAN's first hop.
HELD_OUT='desk-pc-7731|192\.168\.1\.1'
sed 's/Host Name \(.*\): vm/Host Name \1: desk-pc-7731/' "$REPORTS/edited-path-loss.txt" >"$W/held.txt"
"$BUILD/tollvane" --convert "$W/held.txt" -o "$W/held.json"
head -c 3000000 /dev/zero | tr '\0' 'a' >"$W/huge.txt"

COLLECTOR_PID=
start_collector() {  # start_collector DB PORT RATE [OPTION...]
    "$BUILD/tollvane-collector" --db "$1" --listen "127.0.0.1:$2" --rate "$3" "${@:4}" >>"$W/collector.log" 2>&1 &
    COLLECTOR_PID=$!
    e2e_wait_for 10 curl -s -o /dev/null "http://127.0.0.1:$2/login"
}
stop_collector() {
    [ -z "$COLLECTOR_PID" ] || { kill "$COLLECTOR_PID" 2>/dev/null; wait "$COLLECTOR_PID" 2>/dev/null || true; }
    COLLECTOR_PID=
}
e2e_on_exit stop_collector

post() {  # [TYPE=MEDIA_TYPE] post URL FILE [CURL OPTIONS...] -> "STATUS BODY"
    local url=$1 file=$2
    shift 2
    curl -s -o "$W/answer" -w '%{http_code}' -H "Content-Type: ${TYPE:-text/plain}" --data-binary "@$file" "$@" \
        "$url/api/v1/reports"
    echo " $(cat "$W/answer")"
}

# How many held-out values reach the collector with each way of uploading. Each upload is
# a path-loss report: with api_checks' own three, the fleet counts seven at its hop.
held_out_checks() {  # held_out_checks NAME URL TOKEN
    local cases=("--no-redact held.txt:2" "--no-redact held.json:2" "held.txt:0" "held.json:0")
    local case args ticket got
    for case in "${cases[@]}"; do
        read -ra args <<<"${case%:*}"
        ticket=$(cd "$W" && "$BUILD/tollvane" --upload "$2" "${args[@]}" 2>"$W/held.err" | sed 's/.*: //')
        got=$(curl -s -H "Authorization: Bearer $3" "$2/api/v1/reports/$ticket" | { grep -oE "$HELD_OUT" || true; } | sort -u | wc -l)
        expect "$1: held-out values reaching the collector by --upload ${args[*]}" "$got" "${case##*:}"
    done
    grep -q '已隐藏：局域网地址1个、计算机名1处' "$W/held.err" && ok "$1: the upload counts what it hid" ||
        bad "$1: no counts line on standard error: $(cat "$W/held.err")"
}

api_checks() {  # api_checks NAME DB PORT COUNT_COMMAND...
    local name=$1 db=$2 port=$3
    shift 3
    local url=http://127.0.0.1:$port
    printf '%s\n' "$PASSWORD" | "$BUILD/tollvane-collector" --db "$db" --add-user desk >/dev/null
    local token
    token=$("$BUILD/tollvane-collector" --db "$db" --add-token desk | tail -n 1)
    expect "$name: --add-token prints a token on its last line" "${#token}" 64
    start_collector "$db" "$port" 30

    local out status=0
    out=$("$BUILD/tollvane" --upload "$url" "$REPORTS/edited-path-loss.txt" "$REPORTS/edited-not-a-report.txt" \
        "$REPORTS/edited-dns-hijack.txt" 2>"$W/upload.err") || status=$?
    expect "$name: tollvane --upload exits 2 when a file is no report" "$status" 2
    expect "$name: tollvane --upload prints FILE: TICKET for each report" \
        "$(grep -cE ': [2-9A-HJKMNP-Z]{4}-[2-9A-HJKMNP-Z]{4}$' <<<"$out")" 2
    grep -q 'edited-not-a-report.txt: not uploaded: .*开始检测' "$W/upload.err" &&
        ok "$name: a file that cannot be redacted is not sent, with the reason" ||
        bad "$name: refusal not explained: $(cat "$W/upload.err")"
    out=$("$BUILD/tollvane" --upload "$url" --no-redact "$REPORTS/edited-not-a-report.txt" 2>"$W/upload.err") || true
    grep -q 'edited-not-a-report.txt: not uploaded: the collector answered 400' "$W/upload.err" &&
        ok "$name: with --no-redact the collector's refusal is named" || bad "$name: $(cat "$W/upload.err")"
    held_out_checks "$name" "$url" "$token"

    local jsonup
    jsonup=$(TYPE=application/json post "$url" "$W/path-loss.json")
    expect "$name: a JSON report is taken" "${jsonup%% *}" 201
    local before first second
    before=$("$@" "SELECT count(*) FROM reports")
    first=$(post "$url" "$W/hostile.txt" -H 'Idempotency-Key: key-1')
    second=$(post "$url" "$W/hostile.txt" -H 'Idempotency-Key: key-1')
    expect "$name: a repeated Idempotency-Key gets the same ticket" "${second#* }" "${first#* }"
    expect "$name: the first upload is 201, the repeat 200" "${first%% *} ${second%% *}" "201 200"
    expect "$name: the repeat stores nothing" "$("$@" "SELECT count(*) FROM reports")" $((before + 1))
    HOSTILE_TICKET=$(sed 's/.*"ticket":"\([^"]*\)".*/\1/' <<<"${first#* }")

    before=$("$@" "SELECT count(*) FROM reports")
    expect "$name: an upload over 2 MiB gets 413" "$(post "$url" "$W/huge.txt" | cut -d' ' -f1)" 413
    local malformed
    malformed=$(post "$url" "$REPORTS/edited-not-a-report.txt")
    expect "$name: a malformed report gets 400" "${malformed%% *}" 400
    grep -q '"error":"..*"' <<<"$malformed" && ok "$name: the 400 gives a reason" || bad "$name: no reason: $malformed"
    expect "$name: nothing refused is stored" "$("$@" "SELECT count(*) FROM reports")" "$before"

    expect "$name: the desk's API needs a login" "$(curl -s -o /dev/null -w '%{http_code}' "$url/api/v1/fleet")" 401
    expect "$name: the console sends a stranger to /login" \
        "$(curl -s -o /dev/null -w '%{http_code} %{redirect_url}' "$url/")" "303 $url/login"
    curl -s -H "Authorization: Bearer $token" "$url/api/v1/reports/$HOSTILE_TICKET" >"$W/report.json"
    grep -q '"domain":"www.example.com"' "$W/report.json" && grep -q '<script>window.pwned' "$W/report.json" &&
        grep -q '"schema":"tollvane-report/1"' "$W/report.json" &&
        ok "$name: the report's JSON with a bearer token" || bad "$name: report JSON: $(head -c 300 "$W/report.json")"
    curl -s -H "Authorization: Bearer $token" "$url/api/v1/fleet?hours=1" >"$W/fleet.json"
    grep -q '"path_loss_hops":\[{"address":"61.140.0.1","label":"[^"]*","reports":7}' "$W/fleet.json" &&
        ok "$name: the fleet groups path-loss reports by the hop where loss starts" ||
        bad "$name: fleet JSON: $(head -c 400 "$W/fleet.json")"

    local statuses=""
    for _ in $(seq 1 30); do statuses+="$(post "$url" "$REPORTS/edited-dns-hijack.txt" | cut -d' ' -f1) "; done
    grep -q 429 <<<"$statuses" && ok "$name: uploads past the rate get 429" || bad "$name: no 429 in: $statuses"
    stop_collector
}

acked_at_least() { [ "$(cat "$W/acked" 2>/dev/null | wc -l)" -ge "$1" ]; }

kill_check() {  # kill_check NAME DB PORT COUNT_COMMAND...
    local name=$1 db=$2 port=$3
    shift 3
    start_collector "$db" "$port" 0
    "$BUILD/tests/collector_load" 127.0.0.1 "$port" 32 20000 "$REPORTS/edited-path-loss.txt" "$W/acked" \
        >"$W/load.out" 2>&1 &
    local load=$!
    e2e_wait_for 30 acked_at_least 500 || true
    kill -9 "$COLLECTOR_PID"
    wait "$COLLECTOR_PID" 2>/dev/null || true
    COLLECTOR_PID=
    wait "$load" || true
    start_collector "$db" "$port" 0
    local acked found
    acked=$(sort -u "$W/acked" | wc -l)
    found=$("$@" "$(printf "SELECT count(*) FROM reports WHERE ticket IN ('%s')" "$(sort -u "$W/acked" | paste -sd, | sed "s/,/','/g")")")
    if [ "$acked" -ge 500 ] && [ "$acked" -lt 20000 ] && [ "$found" = "$acked" ]; then
        ok "$name: killed during load, all $acked acknowledged reports are there after the restart"
    else
        bad "$name: $found of $acked acknowledged reports after kill -9 ($(cat "$W/load.out"))"
    fi
    stop_collector
}

# ---- SQLite ----
sqlite_count() { sqlite3 "$W/desk.db" <<<"$1"; }
api_checks sqlite "sqlite:$W/desk.db" 8080 sqlite_count
start_collector "sqlite:$W/desk.db" 8080 0
node "$HERE/console/console_check.js" http://127.0.0.1:8080 desk "$PASSWORD" "$HOSTILE_TICKET" \
    "$W/chromium-profile" || failed=1
stop_collector
# Behind a proxy on loopback, the rate counts each forwarded client on its own.
start_collector "sqlite:$W/desk.db" 8080 2 --behind-proxy
statuses=""
for from in 192.0.2.1 192.0.2.1 192.0.2.1 192.0.2.2; do
    statuses+="$(post http://127.0.0.1:8080 "$REPORTS/edited-dns-hijack.txt" -H "X-Forwarded-For: $from" | cut -d' ' -f1) "
done
expect "--behind-proxy: the rate is per forwarded address" "$statuses" "201 201 429 201 "
stop_collector
rm -f "$W/acked"
kill_check sqlite "sqlite:$W/desk.db" 8080 sqlite_count

# ---- PostgreSQL, as nobody in a scratch folder ----
mkdir "$W/pg" && chown nobody "$W/pg"
runuser -u nobody -- "$PGBIN/initdb" -D "$W/pg/data" -U desk --auth=trust -E UTF8 >"$W/initdb.log" 2>&1
runuser -u nobody -- "$PGBIN/pg_ctl" -D "$W/pg/data" -l "$W/pg/log" -w \
    -o "-k $W/pg -h 127.0.0.1 -p 5432" start >/dev/null
e2e_on_exit runuser -u nobody -- "$PGBIN/pg_ctl" -D "$W/pg/data" -m immediate stop
pg_count() { psql -qtA -h 127.0.0.1 -p 5432 -U desk postgres <<<"$1"; }
PG=postgresql://desk@127.0.0.1:5432/postgres
api_checks postgresql "$PG" 8081 pg_count
rm -f "$W/acked"
kill_check postgresql "$PG" 8081 pg_count

[ "$failed" -eq 0 ] && echo "collector_check: all passed" || echo "collector_check: FAILED"
exit "$failed"
