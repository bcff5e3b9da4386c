# Shared set-up for end-to-end checks that need a route with hops: the calling shell's
# network namespace is the client, behind a chain of router namespaces ending in a
# server namespace. Sourced, not run. Every namespace is named PREFIX-r1 ... PREFIX-s.
#
#   chain_up PREFIX ROUTERS     the chain, with forwarding and no ICMP rate limits
#   chain_down PREFIX ROUTERS   deletes its namespaces
#
# Link i (10.19.i.0/24, fd19:i::/64) joins hop i-1 (the client for i = 1), whose side
# is .1 / ::1, to hop i, whose side is .2 / ::2. So router i answers from 10.19.i.2 and
# fd19:i::2, and the server, behind ROUTERS routers, is 10.19.(ROUTERS+1).2.

chain_ns() { echo "$1-$2"; }

chain_link() {  # NEAR_NS(or "") FAR_NS LINK
    local near=$1 far=$2 i=$3
    local a=l${i}a b=l${i}b
    if [ -z "$near" ]; then
        ip link add "$a" type veth peer name "$b" netns "$far"
        ip addr add "10.19.$i.1/24" dev "$a"
        ip -6 addr add "fd19:$i::1/64" dev "$a" nodad
        ip link set "$a" up
    else
        ip -n "$near" link add "$a" type veth peer name "$b" netns "$far"
        ip -n "$near" addr add "10.19.$i.1/24" dev "$a"
        ip -n "$near" -6 addr add "fd19:$i::1/64" dev "$a" nodad
        ip -n "$near" link set "$a" up
    fi
    ip -n "$far" addr add "10.19.$i.2/24" dev "$b"
    ip -n "$far" -6 addr add "fd19:$i::2/64" dev "$b" nodad
    ip -n "$far" link set "$b" up
}

chain_up() {
    local prefix=$1 routers=$2 i j ns near=""
    ip link set lo up
    for i in $(seq 1 "$routers") s; do
        ns=$(chain_ns "$prefix" "$( [ "$i" = s ] && echo s || echo "r$i")")
        ip netns add "$ns"
        ip -n "$ns" link set lo up
        ip netns exec "$ns" sysctl -qw net.ipv4.ip_forward=1 net.ipv6.conf.all.forwarding=1 \
            net.ipv4.icmp_ratelimit=0 net.ipv6.icmp.ratelimit=0
    done
    for i in $(seq 1 $((routers + 1))); do
        ns=$(chain_ns "$prefix" "$( [ "$i" -gt "$routers" ] && echo s || echo "r$i")")
        chain_link "$near" "$ns" "$i"
        near=$ns
    done
    # Towards the server: each hop's default route is the next hop; back towards the
    # client: the links before a router's own go to the previous hop.
    ip route add default via 10.19.1.2
    ip -6 route add default via fd19:1::2
    for i in $(seq 1 "$routers"); do
        ns=$(chain_ns "$prefix" "r$i")
        ip -n "$ns" route add default via "10.19.$((i + 1)).2"
        ip -n "$ns" -6 route add default via "fd19:$((i + 1))::2"
        for j in $(seq 1 $((i - 1))); do
            ip -n "$ns" route add "10.19.$j.0/24" via "10.19.$i.1"
            ip -n "$ns" -6 route add "fd19:$j::/64" via "fd19:$i::1"
        done
    done
    ns=$(chain_ns "$prefix" s)
    ip -n "$ns" route add default via "10.19.$((routers + 1)).1"
    ip -n "$ns" -6 route add default via "fd19:$((routers + 1))::1"
}

chain_down() {
    local prefix=$1 routers=$2 i
    for i in $(seq 1 "$routers"); do ip netns del "$(chain_ns "$prefix" "r$i")" 2>/dev/null || true; done
    ip netns del "$(chain_ns "$prefix" s)" 2>/dev/null || true
}
