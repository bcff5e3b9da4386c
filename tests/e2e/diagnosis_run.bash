#!/bin/bash
# One whole tollvane run against tests/e2e/diagnosis_peers.py in a private network and
# mount namespace: MODE picks the fault, the report goes to OUT. With DIAGNOSIS_TTY set,
# the run writes to this script's own output (a terminal, under script(1)).
#   diagnosis_run.bash TOLLVANE MODE OUT [DOMAIN]      (as root)
# DIAGNOSIS_RUN_ARGS: more options for tollvane. With DIAGNOSIS_IDENTITY set, the run's
# machine has a host name of its own (a private UTS namespace) and a LAN adapter with a
# known MAC and addresses, personal data that a redacted report must not show.
# Not named *.sh: it is a helper of diagnosis_check.sh, not a check test.sh runs itself.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 TOLLVANE MODE OUT [DOMAIN]" >&2; exit 2; }
if [ -z "${DIAGNOSIS_RUN_INSIDE:-}" ]; then
    export DIAGNOSIS_RUN_INSIDE=1
    exec timeout --kill-after=10 300 unshare -m -n -u "$0" "$@"
fi
HERE=$(cd "$(dirname "$0")" && pwd)
TOLLVANE=$(realpath "$1") MODE=$2 OUT=$(realpath -m "$3") DOMAIN=${4:-www.example.com}
WORK=$(mktemp -d /tmp/diagnosis-run.XXXXXX)
peer=
trap '[ -n "$peer" ] && kill "$peer" 2>/dev/null; rm -rf "$WORK"' EXIT
ip link set lo up
printf '127.0.0.1 localhost\n127.0.0.1 whois.internic.net\n127.0.0.1 2018.ip138.com\n127.0.0.1 www.example.com\n' \
    >"$WORK/hosts"
mount --bind "$WORK/hosts" /etc/hosts
printf 'nameserver 127.0.0.1\n' >"$WORK/resolv.conf"
mount --bind "$WORK/resolv.conf" /etc/resolv.conf
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
for _ in $(seq 50); do grep -q ready "$WORK/peers.out" 2>/dev/null && break; sleep 0.1; done
if [ -n "${DIAGNOSIS_TTY:-}" ]; then
    (cd "$WORK" && "$TOLLVANE" ${DIAGNOSIS_RUN_ARGS:-} -o "$OUT" "$DOMAIN") || true
else
    (cd "$WORK" && "$TOLLVANE" ${DIAGNOSIS_RUN_ARGS:-} -o "$OUT" "$DOMAIN" >"$WORK/run.log" 2>&1) ||
        cat "$WORK/run.log" >&2
fi
[ -s "$OUT" ]
