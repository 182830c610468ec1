#!/bin/sh
# Profile benchmarks; prints the median figures.
#  (a) the whole process `nuvik hosts.ini` on a 10,000-host profile, inside a
#      private network namespace whose default route leads into a dummy
#      device (or a veth pair where the kernel has no dummy devices), so every
#      broadcast is really sent and goes nowhere (needs root);
#  (b) load then save of a 100,000-entry profile.
#   bench/profile.sh [BUILD_DIR]     (default: build)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
[ -d "$build" ] || cmake -G Ninja -S "$root" -B "$build" >/dev/null
ninja -C "$build" -j2 nuvik nuvik_bench_profile >/dev/null

work=$(mktemp -d /tmp/nuvik-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "== (a) nuvik hosts.ini, 10,000 hosts, private namespace (target < 0.3 s)"
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: needs root for the private network namespace"
else
    python3 - "$work/hosts.ini" <<'PY'
import sys
with open(sys.argv[1], "wb") as f:
    f.write(b"[list]\r\n")
    for i in range(10000):
        f.write(b"%d=host%d 10.%d.%d.%d %012X\r\n" % (i, i, i >> 16 & 255, i >> 8 & 255, i & 255, i))
PY
    cat >"$work/run-in-ns.sh" <<EOF2
set -e
ip link set lo up
# A dummy device where the kernel has one; otherwise one end of a veth pair
# whose other end nothing listens on.
ip link add d0 type dummy 2>/dev/null || ip link add d0 type veth peer name d1
ip link set d1 up 2>/dev/null || true
ip addr add 10.99.0.1/24 dev d0
ip link set d0 up
ip route add default dev d0
cd "$work"
XDG_CONFIG_HOME="$work/config" hyperfine --warmup 2 --runs 15 --style basic \
    --export-json "$work/a.json" "$build/nuvik hosts.ini"
EOF2
    unshare -n sh "$work/run-in-ns.sh" >"$work/a.log" 2>&1 || { cat "$work/a.log"; exit 1; }
    python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][0]; print("  median: %.4f s  (mean %.4f s, %d runs)" % (r["median"], r["mean"], len(r["times"])))' "$work/a.json"
fi

echo "== (b) load then save, 100,000 entries (target < 0.2 s)"
"$build/bench/nuvik_bench_profile" 100000 11

echo "== (c) nuvik --wake of 10,000 names against a 100,000-host book, private namespace (target < 1 s)"
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: needs root for the private network namespace"
else
    python3 - "$work" <<'PY'
import os, sys
os.makedirs(sys.argv[1] + "/config/nuvik", exist_ok=True)
with open(sys.argv[1] + "/config/nuvik/nuvik.INI", "wb") as f:
    f.write(b"[list]\r\n")
    for i in range(100000):
        f.write(b"%d=Host%d 10.99.%d.%d %012X\r\n" % (i, i, i >> 8 & 255, i & 255, i))
with open(sys.argv[1] + "/names", "w") as f:
    f.write(" ".join("host%d" % (i * 10 + 7) for i in range(10000)))  # lower case: folded
PY
    sed -i "s|$build/nuvik hosts.ini|$build/nuvik --wake \\\$(cat names)|; s|a.json|c.json|" "$work/run-in-ns.sh"
    unshare -n sh "$work/run-in-ns.sh" >"$work/c.log" 2>&1 || { cat "$work/c.log"; exit 1; }
    python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][0]; print("  median: %.4f s  (mean %.4f s, %d runs)" % (r["median"], r["mean"], len(r["times"])))' "$work/c.json"
fi
