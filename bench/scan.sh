#!/bin/sh
# The scan of a link, inside private network namespaces only: a bridge in the
# scanner's namespace with 24 host namespaces on it. Prints, per run, the
# time of `nuvik --scan` as nobody (no ICMP permission) beside that of
# arp-scan (root, raw frames) on the same /24, then the time of a /22 with
# the same hosts, with the neighbour table's overflow counter and fullest
# level, and whether an entry of another namespace stayed. Needs root.
#   bench/scan.sh [BUILD_DIR] [RUNS]
set -eu
BUILD=${1:-build}
RUNS=${2:-5}
HOSTS=24
command -v arp-scan >/dev/null || { echo "arp-scan is not installed (apt-get install arp-scan)"; exit 2; }
TAG=$$
S=nuvik-ss-$TAG
O=nuvik-so-$TAG
DIR=$(mktemp -d)
chmod 755 "$DIR"
cp "$BUILD/nuvik" "$DIR/nuvik"

cleanup() {
    for ns in "$S" "$O" $(seq -f "nuvik-sh$TAG-%g" 0 $((HOSTS - 1))); do ip netns del "$ns" 2>/dev/null || true; done
    rm -rf "$DIR"
}
trap cleanup EXIT INT TERM
ip netns add "$S"
ip -n "$S" link set lo up
ip -n "$S" link add br0 type bridge
ip -n "$S" addr add 10.66.0.1/24 dev br0
ip -n "$S" link set br0 up
i=0
while [ "$i" -lt "$HOSTS" ]; do
    H=nuvik-sh$TAG-$i
    ip netns add "$H"
    ip link add "h$i" netns "$S" type veth peer name eth0 netns "$H"
    ip -n "$H" addr add "10.66.0.$((20 + i * 9))/22" dev eth0
    ip -n "$H" link set eth0 up
    ip -n "$S" link set "h$i" master br0 up
    i=$((i + 1))
done
ip -n "$S" addr replace 10.66.0.1/24 dev br0
until ip -n "$S" link show br0 | grep -q 'state UP'; do sleep 0.05; done
sleep 1

# Another namespace's entry, stale and older than five seconds, as the
# kernel's collector would pick first.
ip netns add "$O"
ip -n "$O" link add d0 type veth peer name d1
ip -n "$O" addr add 10.55.0.1/24 dev d0
ip -n "$O" link set d0 up
ip -n "$O" link set d1 up
ip -n "$O" neigh add 10.55.0.9 lladdr 02:55:00:00:00:09 dev d0 nud stale

ms() { date +%s%N | cut -c1-13; }
fulls() { ip -s ntable show name arp_cache | awk '/table_fulls/ { for (i = 1; i < NF; i++) if ($i == "table_fulls") print $(i + 1); exit }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

run_nuvik() {
    ip -n "$S" neigh flush all
    t=$(ms)
    found=$(ip netns exec "$S" setpriv --reuid=65534 --regid=65534 --clear-groups "$DIR/nuvik" --scan 2>/dev/null | wc -l)
    echo "$(( $(ms) - t )) $found"
}
run_arpscan() {
    ip -n "$S" neigh flush all
    t=$(ms)
    found=$(ip netns exec "$S" arp-scan -q -x -I br0 10.66.0.0/24 2>/dev/null | awk '{ print $1 }' | sort -u | wc -l)
    echo "$(( $(ms) - t )) $found"
}

echo "/24, $HOSTS live hosts, cold neighbour table; ms and hosts found per run"
: > "$DIR/n"; : > "$DIR/a"
r=0
while [ "$r" -lt "$RUNS" ]; do
    set -- $(run_nuvik); echo "$1" >> "$DIR/n"; n="$1 ms, $2 hosts"
    set -- $(run_arpscan); echo "$1" >> "$DIR/a"
    printf '  run %d: nuvik --scan (nobody) %s   arp-scan (root) %s ms, %s hosts\n' $((r + 1)) "$n" "$1" "$2"
    r=$((r + 1))
done
printf '/24 median: nuvik %s ms, arp-scan %s ms (target: nuvik no slower)\n' "$(median < "$DIR/n")" "$(median < "$DIR/a")"

ip -n "$S" addr replace 10.66.0.1/22 dev br0
ip -n "$S" addr del 10.66.0.1/24 dev br0
echo "/22 (1,021 addresses), the same hosts"
: > "$DIR/n"
r=0
while [ "$r" -lt "$RUNS" ]; do
    before=$(fulls)
    ip netns exec "$S" sh -c 'while :; do ip -s ntable show name arp_cache | sed -n "s/.*entries \([0-9]*\).*/\1/p"; sleep 0.05; done' > "$DIR/peak" &
    watch=$!
    set -- $(run_nuvik)
    kill "$watch"; wait "$watch" 2>/dev/null || true
    echo "$1" >> "$DIR/n"
    printf '  run %d: %s ms, %s hosts, table fullest %s entries (gc_thresh3 %s), overflows %s\n' $((r + 1)) "$1" "$2" \
        "$(sort -n "$DIR/peak" | tail -1)" "$(cat /proc/sys/net/ipv4/neigh/default/gc_thresh3)" "$(( $(fulls) - before ))"
    r=$((r + 1))
    sleep 4  # the failed entries of the run before go first
done
printf '/22 median: %s ms (target: at most 6000 ms, no overflow)\n' "$(median < "$DIR/n")"
if ip -n "$O" neigh show 10.55.0.9 | grep -q 02:55; then
    echo "another namespace's stale entry: kept"
else
    echo "another namespace's stale entry: collected by the kernel"
fi
