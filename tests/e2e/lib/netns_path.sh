# Shared set-up for end-to-end scripts that need hosts on a routed path: named network
# namespaces joined by veth pairs. Source it, set NS_PREFIX (a tag of the script's own,
# so parallel scripts never share a name), and call ns_cleanup from the script's trap.
#   ns_add NAME              a namespace NS_PREFIX-NAME with loopback up
#   ns_link A ADDR_A B ADDR_B [ADDR6_A ADDR6_B]
#                            a veth pair between two of them, with the addresses
#                            given (CIDR form), IPv6 ones without duplicate detection
#   ns_router NAME           turns forwarding on (IPv4 and IPv6)
#   in_ns NAME CMD...        runs CMD inside
#   ns_cleanup               deletes every namespace this script added

NS_ADDED=()
NS_LINKS=0

ns_name() { echo "$NS_PREFIX-$1"; }

ns_add() {
    local ns
    ns=$(ns_name "$1")
    ip netns del "$ns" 2>/dev/null || true
    ip netns add "$ns"
    NS_ADDED+=("$ns")
    ip -n "$ns" link set lo up
}

in_ns() {
    local ns
    ns=$(ns_name "$1")
    shift
    ip netns exec "$ns" "$@"
}

ns_link() {
    local a=$1 addr_a=$2 b=$3 addr_b=$4 addr6_a=${5:-} addr6_b=${6:-}
    NS_LINKS=$((NS_LINKS + 1))
    local ia="${NS_PREFIX:0:6}v${NS_LINKS}a" ib="${NS_PREFIX:0:6}v${NS_LINKS}b"
    ip link add "$ia" netns "$(ns_name "$a")" type veth peer name "$ib" netns "$(ns_name "$b")"
    ip -n "$(ns_name "$a")" addr add "$addr_a" dev "$ia"
    ip -n "$(ns_name "$b")" addr add "$addr_b" dev "$ib"
    if [ -n "$addr6_a" ]; then
        ip -n "$(ns_name "$a")" addr add "$addr6_a" dev "$ia" nodad
        ip -n "$(ns_name "$b")" addr add "$addr6_b" dev "$ib" nodad
    fi
    ip -n "$(ns_name "$a")" link set "$ia" up
    ip -n "$(ns_name "$b")" link set "$ib" up
}

ns_router() {
    in_ns "$1" sysctl -qw net.ipv4.ip_forward=1 net.ipv6.conf.all.forwarding=1
}

ns_cleanup() {
    local ns
    for ns in "${NS_ADDED[@]}"; do ip netns del "$ns" 2>/dev/null || true; done
    NS_ADDED=()
}
