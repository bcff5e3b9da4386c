#!/bin/sh
# Runs the command in a network namespace of its own in which only loopback is up, so
# that nothing it does reaches another host: the shipped program names outside servers
# (the public address page), and a test must not talk to them. Needs root.
exec unshare --net sh -c 'ip link set lo up && exec "$0" "$@"' "$@"
