#!/bin/bash
# One whole tollvane run against tests/e2e/diagnosis_peers.py in a private network and
# mount namespace: MODE picks the fault, the report goes to OUT (and, for OUT.txt, its JSON
# form to OUT.json). With DIAGNOSIS_TTY set,
# the run writes to this script's own output (a terminal, under script(1)); with
# DIAGNOSIS_EXTENDED set, it is an --extended run.
#   diagnosis_run.bash TOLLVANE MODE OUT [DOMAIN]      (as root)
# DIAGNOSIS_RUN_ARGS: more options for tollvane. With DIAGNOSIS_IDENTITY set, the run's
# machine has a host name of its own (a private UTS namespace) and a LAN adapter with a
# known MAC and addresses, personal data that a redacted report must not show.
# Not named *.sh: it is a helper of diagnosis_check.sh, not a check test.sh runs itself.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 TOLLVANE MODE OUT [DOMAIN]" >&2; exit 2; }
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/lib.sh"
e2e_enter_namespace --own-host-name 300 "$0" "$@"
TOLLVANE=$(realpath "$1") MODE=$2 OUT=$(realpath -m "$3") DOMAIN=${4:-www.example.com}
e2e_make_work diagnosis-run
WORK=$E2E_WORK
peer=
e2e_on_exit '[ -n "$peer" ] && kill "$peer" 2>/dev/null'
e2e_hosts "127.0.0.1 localhost" "127.0.0.1 whois.internic.net" "127.0.0.1 2018.ip138.com" \
    "127.0.0.1 www.example.com"
e2e_resolv "nameserver 127.0.0.1"
if [ -n "${DIAGNOSIS_IDENTITY:-}" ]; then
    hostname tvpriv-held7
    ip link add tvpriv0 address 02:5e:aa:bb:cc:dd type veth peer name tvpriv1
    ip addr add 192.168.77.23/24 dev tvpriv0
    ip -6 addr add fd77::23/64 dev tvpriv0 nodad
    ip link set tvpriv1 up
    ip link set tvpriv0 up
    # The link-local address made from the MAC, once it has passed its duplicate check.
    for _ in $(seq 30); do ip -6 addr show dev tvpriv0 | grep -q 'fe80.*tentative' || break; sleep 0.1; done
fi
PYTHONPATH=$HERE python3 "$HERE/diagnosis_peers.py" "$MODE" >"$WORK/peers.out" 2>/dev/null &
peer=$!
e2e_wait_for 5 grep -q ready "$WORK/peers.out" || true
options=()
[ -z "${DIAGNOSIS_EXTENDED:-}" ] || options=(--extended --path-rounds 10)
# A report named .txt gets its JSON twin from the same run, for judging both forms.
[ "${OUT%.txt}" = "$OUT" ] || options+=(-o "${OUT%.txt}.json")
if [ -n "${DIAGNOSIS_TTY:-}" ]; then
    (cd "$WORK" && "$TOLLVANE" "${options[@]}" ${DIAGNOSIS_RUN_ARGS:-} -o "$OUT" "$DOMAIN") || true
else
    (cd "$WORK" && "$TOLLVANE" "${options[@]}" ${DIAGNOSIS_RUN_ARGS:-} -o "$OUT" "$DOMAIN" >"$WORK/run.log" 2>&1) || cat "$WORK/run.log" >&2
fi
[ -s "$OUT" ]
