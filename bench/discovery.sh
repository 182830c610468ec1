#!/bin/sh
# Time from start to result of one discovery (echo request, table read, scan)
# inside private network namespaces, for a peer that answers echo, a peer that
# ignores echo but answers ARP, and an address nobody holds. Needs root.
#   bench/discovery.sh [BUILD_DIR] [RUNS]
set -eu
BUILD=${1:-build}
RUNS=${2:-7}
ninja -C "$BUILD" -j2 nuvik_bench_discover >/dev/null
TOOL=$(realpath "$BUILD/bench/nuvik_bench_discover")
TAG=$$
S=nuvik-bs-$TAG
P=nuvik-bp-$TAG

cleanup() { ip netns del "$S" 2>/dev/null || true; ip netns del "$P" 2>/dev/null || true; }
trap cleanup EXIT INT TERM
ip netns add "$S"
ip netns add "$P"
ip link add "vbs$TAG" netns "$S" type veth peer name "vbp$TAG" netns "$P"
ip -n "$S" addr add 10.77.0.1/24 dev "vbs$TAG"
ip -n "$P" addr add 10.77.0.2/24 dev "vbp$TAG"
for ns in "$S" "$P"; do ip -n "$ns" link set lo up; done
ip -n "$S" link set "vbs$TAG" up
ip -n "$P" link set "vbp$TAG" up

# Runs the tool RUNS times from a cold neighbour table; prints the median ms.
measure() {
    target=$1
    i=0
    while [ "$i" -lt "$RUNS" ]; do
        ip -n "$S" neigh flush all
        ip netns exec "$S" "$TOOL" "$target" | sed -n 's/^ms //p'
        i=$((i + 1))
    done | sort -n | awk '{ v[NR] = $1 } END { printf "%.1f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ip netns exec "$P" sysctl -qw net.ipv4.icmp_echo_ignore_all=0
printf 'answering peer     median %8s ms  (target < 50 ms)\n' "$(measure 10.77.0.2)"
ip netns exec "$P" sysctl -qw net.ipv4.icmp_echo_ignore_all=1
printf 'peer ignoring echo median %8s ms  (target < 100 ms)\n' "$(measure 10.77.0.2)"
printf 'absent address     median %8s ms  (target: about 3000 ms, never 5000)\n' "$(measure 10.77.0.99)"
