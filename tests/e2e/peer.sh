#!/bin/bash
# The remote administrator's machine for the end-to-end cases: a network namespace joined to this one
# by a veth pair, and nothing else (no route beyond the pair, no NAT).
#
#   peer.sh STATUS up                  make it, removing a leftover of an earlier run first
#   peer.sh STATUS down                remove it, and any connection still held from it
#   peer.sh STATUS connect PORT SECS   from the namespace, a TCP connection to the host's end of the pair,
#                                      held open SECS seconds in the background; returns once it is made
#                                      or has failed, within 5 s
#
# The cases run under Wine, which starts this script but does not pass its exit code back: the result is
# the one line written to STATUS ("ok", "skip <why>" when it cannot run here, "failed <why>"), put in
# place whole, so a reader never sees half of it.
set -u
export PATH=/usr/sbin:/usr/bin:/sbin:/bin

NAMESPACE=rdpport-peer
HOST_END=rdpp0
PEER_END=rdpp1
HOST_ADDRESS=10.213.7.1
PEER_ADDRESS=10.213.7.2

status_file=$1
verb=$2
shift 2

report() {
    printf '%s\n' "$*" >"$status_file.new" && mv -f "$status_file.new" "$status_file"
    exit 0
}

remove() {
    local pid
    # Connections still held from the namespace end with it (they are this script's own processes).
    for pid in $(ip netns pids "$NAMESPACE" 2>/dev/null); do kill "$pid" 2>/dev/null; done
    ip link del "$HOST_END" 2>/dev/null
    ip netns del "$NAMESPACE" 2>/dev/null
    return 0
}

up() {
    [ "$(id -u)" -eq 0 ] || report "skip not root: a network namespace needs root"
    command -v ip >/dev/null || report "skip no ip command (iproute2)"
    remove
    ip netns add "$NAMESPACE" &&
        ip link add "$HOST_END" type veth peer name "$PEER_END" &&
        ip link set "$PEER_END" netns "$NAMESPACE" &&
        ip addr add "$HOST_ADDRESS/30" dev "$HOST_END" &&
        ip link set "$HOST_END" up &&
        ip -n "$NAMESPACE" addr add "$PEER_ADDRESS/30" dev "$PEER_END" &&
        ip -n "$NAMESPACE" link set "$PEER_END" up ||
        { remove; report "failed cannot make the namespace and its veth pair"; }
    report ok
}

connect() {
    local port=$1 seconds=$2 made i
    made=$(mktemp) || report "failed no temporary file"
    # bash's /dev/tcp makes the connection; the holder ends by itself after SECS (and 2 s to spare).
    setsid ip netns exec "$NAMESPACE" timeout "$((seconds + 2))" bash -c '
        exec 3<>"/dev/tcp/$0/$1" || { echo failed >"$3"; exit 1; }
        echo connected >"$3"
        sleep "$2"' "$HOST_ADDRESS" "$port" "$seconds" "$made" </dev/null >/dev/null 2>&1 &
    for i in $(seq 50); do
        [ -s "$made" ] && break
        sleep 0.1
    done
    case "$(cat "$made")" in
    connected) rm -f "$made"; report ok ;;
    failed) rm -f "$made"; report "failed refused" ;;
    *) kill $! 2>/dev/null; rm -f "$made"; report "failed no answer within 5 s" ;;
    esac
}

case "$verb" in
up) up ;;
down) remove; report ok ;;
connect) connect "$@" ;;
*) report "failed unknown command $verb" ;;
esac
