# The set-up the end-to-end checks share: root and a private network and mount namespace,
# a scratch folder, a hosts file of their own, peers to wait for, and a wine prefix of the
# check's own. Sourced by tests/e2e/*.sh after `set -euo pipefail`; every name starts
# with e2e_ so a check's own names never meet these.

# Ends the check (status 2: it could not run) unless it runs as root.
#   e2e_require_root NAME WHY
e2e_require_root() {
    [ "$(id -u)" -eq 0 ] || { echo "$1: run as root ($2)" >&2; exit 2; }
}

# Fails the check, naming every program that is missing, rather than letting it skip or
# stop half-way: a missing peer is a broken test machine, not a passed test.
#   e2e_require_tools NAME PROGRAM...   (a command name or an absolute path)
e2e_require_tools() {
    local name=$1 tool missing=()
    shift
    for tool in "$@"; do command -v "$tool" >/dev/null || missing+=("$tool"); done
    [ ${#missing[@]} -eq 0 ] ||
        { echo "$name: FAIL - missing ${missing[*]} (scripts/install-deps.sh all installs them)" >&2; exit 2; }
}

# Starts the check again inside a private network and mount namespace, bounded in time,
# unless it already runs there; in which only loopback exists until the check adds more.
# With --mount-only the network stays the host's (a check that makes named namespaces of
# its own). A check started from another gets namespaces of its own too.
#   e2e_enter_namespace [--mount-only] SECONDS "$0" "$@"
e2e_enter_namespace() {
    local spaces=(-m -n)
    if [ "$1" = --mount-only ]; then
        spaces=(-m)
        shift
    elif [ "$1" = --own-host-name ]; then
        spaces=(-m -n -u)
        shift
    fi
    local seconds=$1
    shift
    if ! e2e_in_namespace "$1"; then
        export E2E_INSIDE_NAMESPACE=$1
        exec timeout --kill-after=10 "$seconds" unshare "${spaces[@]}" "$@"
    fi
    [ "${spaces[*]}" = -m ] || ip link set lo up
}

# True once the check runs inside the namespaces e2e_enter_namespace made for it: what
# must happen outside (installing tools) comes before.
#   e2e_in_namespace "$0"
e2e_in_namespace() { [ "${E2E_INSIDE_NAMESPACE:-}" = "$1" ]; }

# A scratch folder in E2E_WORK, readable by the peers (nginx drops its rights), removed
# when the check ends along with whatever e2e_on_exit was given.
#   e2e_make_work NAME
e2e_make_work() {
    E2E_WORK=$(mktemp -d "/tmp/$1.XXXXXX")
    chmod 755 "$E2E_WORK"
    trap e2e_cleanup EXIT
}
E2E_EXIT_STEPS=()
e2e_on_exit() { E2E_EXIT_STEPS+=("$*"); }
e2e_cleanup() {
    local step
    for step in "${E2E_EXIT_STEPS[@]}"; do eval "$step" || true; done
    [ -z "${E2E_WORK:-}" ] || rm -rf "$E2E_WORK"
}

# Puts a hosts file of the given lines in the place of the system's (inside the namespace).
#   e2e_hosts "127.0.0.1 localhost" "127.0.0.1 peer.test" ...
e2e_hosts() {
    printf '%s\n' "$@" >"$E2E_WORK/hosts"
    mount --bind "$E2E_WORK/hosts" /etc/hosts
}

# Puts a resolv.conf of the given lines in the place of the system's.
#   e2e_resolv "nameserver 127.0.0.1" ...
e2e_resolv() {
    printf '%s\n' "$@" >"$E2E_WORK/resolv.conf"
    mount --bind "$E2E_WORK/resolv.conf" /etc/resolv.conf
}

# Waits until the command succeeds; false once SECONDS have passed without it.
#   e2e_wait_for SECONDS COMMAND...
e2e_wait_for() {
    local end=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.2
    done
}

# wine64 in E2E_WINE, empty when it is not installed.
e2e_find_wine() {
    E2E_WINE=/usr/lib/wine/wine64
    [ -x "$E2E_WINE" ] || E2E_WINE=$(command -v wine64 || true)
}

# wine64 in E2E_WINE (empty when it is not installed), with a prefix of the check's own:
# wine keeps sockets in its server, so the server must start inside the namespace, not
# be one already running outside it. It is ended when the check ends.
#   e2e_wine PREFIX
e2e_wine() {
    e2e_find_wine
    export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    [ -n "$E2E_WINE" ] || return 0
    e2e_on_exit e2e_stop_wine
    [ -f "$WINEPREFIX/system.reg" ] || "$E2E_WINE" wineboot -i >/dev/null 2>&1 || true
}
e2e_stop_wine() {
    "${E2E_WINE%64}server" -k 2>/dev/null || wineserver -k 2>/dev/null || true
}

# Screenshots are judged by what they hold, not pixel by pixel: how many pixels are
# within a few per cent of a colour, and how many colours there are at all (a blank or
# one-colour area has one or two).
#   e2e_pixels_of IMAGE '#D62020'      e2e_colours IMAGE
e2e_pixels_of() {
    convert "$1" -alpha off -fuzz 6% -fill '#00FF00' -opaque "$2" -fill black +opaque '#00FF00' \
        -fill white -opaque '#00FF00' -colorspace gray -format '%[fx:round(mean*w*h)]' info:
}
e2e_colours() { convert "$1" -alpha off -format '%k' info:; }
