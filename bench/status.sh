#!/bin/sh
# --status of 1,000 hosts on one link, 100 present and 900 absent, as an
# ordinary user without ICMP permission (a fresh namespace's
# ping_group_range), side by side with fping -c1 -t1000 as root on the same
# hosts; then how soon --wait reports a host after it first can answer.
# Everything runs inside private network namespaces made here. Needs root.
#   bench/status.sh [BUILD_DIR] [RUNS]
set -eu
BUILD=${1:-build}
RUNS=${2:-5}
NUVIK=$(realpath "$BUILD/nuvik")
TAG=$$
S=nuvik-ss-$TAG
P=nuvik-sp-$TAG
DIR=$(mktemp -d /tmp/nuvik-bench-status-XXXXXX)
NOBODY="setpriv --reuid=65534 --regid=65534 --clear-groups"

cleanup() {
    ip netns del "$S" 2>/dev/null || true
    ip netns del "$P" 2>/dev/null || true
    rm -rf "$DIR"
}
trap cleanup EXIT INT TERM
command -v fping >/dev/null || { echo "fping is not installed (scripts/deps.sh test)" >&2; exit 1; }
ip netns add "$S"
ip netns add "$P"
ip link add "vss$TAG" netns "$S" type veth peer name "vsp$TAG" netns "$P"
ip -n "$S" addr add 10.80.0.1/16 dev "vss$TAG"
for ns in "$S" "$P"; do ip -n "$ns" link set lo up; done
ip -n "$S" link set "vss$TAG" up
ip -n "$P" link set "vsp$TAG" up
# The present hosts: 100 addresses of the peer, which answers ARP and echo for each.
i=0
while [ $i -lt 100 ]; do
    echo "addr add 10.80.1.$((i + 1))/16 dev vsp$TAG"
    i=$((i + 1))
done | ip -n "$P" -batch -
cp "$NUVIK" "$DIR/nuvik"
chmod 755 "$DIR" "$DIR/nuvik"
{
    echo "[list]"
    i=0
    while [ $i -lt 1000 ]; do
        if [ $i -lt 100 ]; then addr=10.80.1.$((i + 1)); else addr=10.80.$((2 + i / 250)).$((i % 250 + 1)); fi
        printf '%d=h%d %s 02%010X\n' $i $i "$addr" $i
        i=$((i + 1))
    done
} >"$DIR/book.ini"
sed -n 's/^[0-9]*=[^ ]* \([^ ]*\) .*/\1/p' "$DIR/book.ini" >"$DIR/addresses"
sleep 1

now_ms() { date +%s%3N; }
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%d", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Each run from a cold neighbour table; prints its time in ms.
time_status() {
    ip -n "$S" neigh flush all
    start=$(now_ms)
    ip netns exec "$S" $NOBODY "$DIR/nuvik" --profile "$DIR/book.ini" --status >"$DIR/out" || true
    echo $(($(now_ms) - start))
}
time_fping() {
    ip -n "$S" neigh flush all
    start=$(now_ms)
    ip netns exec "$S" fping -q -c1 -t1000 -f "$DIR/addresses" 2>/dev/null || true
    echo $(($(now_ms) - start))
}
status_ms=$(i=0; while [ $i -lt "$RUNS" ]; do time_status; i=$((i + 1)); done | median)
up=$(grep -c ' up ' "$DIR/out" || true)
fping_ms=$(i=0; while [ $i -lt "$RUNS" ]; do time_fping; i=$((i + 1)); done | median)
printf 'status, 1000 hosts (900 absent), nobody  median %6d ms  (%d up; target <= 1500 ms)\n' "$status_ms" "$up"
printf 'fping -c1 -t1000, same hosts, root       median %6d ms\n' "$fping_ms"
awk -v a="$status_ms" -v b="$fping_ms" 'BEGIN { printf "status / fping                                  %6.2f  (target <= 1.20)\n", a / b }'

# --wait: the host's ARP is turned on 2 s in; the line must follow within 1 s.
ip -n "$P" link set "vsp$TAG" arp off
ip -n "$S" neigh flush all
worst=0
i=0
while [ $i -lt "$RUNS" ]; do
    ip -n "$P" link set "vsp$TAG" arp off
    ip -n "$S" neigh flush all
    (ip netns exec "$S" $NOBODY "$DIR/nuvik" --profile "$DIR/book.ini" --wake h0 --wait=20 | while read -r line; do
        echo "$(now_ms) $line"
    done >"$DIR/wait") &
    sleep 2
    on=$(now_ms)
    ip -n "$P" link set "vsp$TAG" arp on
    wait
    late=$(($(sed -n 's/^\([0-9]*\) h0 is up after.*/\1/p' "$DIR/wait") - on))
    [ "$late" -gt "$worst" ] && worst=$late
    i=$((i + 1))
done
printf 'wait: host reported after it can answer    worst  %6d ms  (target <= 1000 ms)\n' "$worst"
