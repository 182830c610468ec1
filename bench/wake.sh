#!/usr/bin/env bash
# Whole-process time of a command-line wake, `nuvik 001122334455`, inside a
# private network namespace whose default route leads into one end of a veth pair
# (the broadcasts are really sent, and go nowhere). Prints the median.
# Needs root (for the namespace) and hyperfine. Usage: bench/wake.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
nuvik="$build/nuvik"
[ -x "$nuvik" ] || { echo "build nuvik first ($nuvik)" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "hyperfine is missing: apt-get install hyperfine" >&2; exit 1; }

exec unshare -n bash -s "$nuvik" <<'INNER'
set -euo pipefail
nuvik=$1
ip link set lo up
ip link add d0 type veth peer name d1
ip link set d1 up
ip addr add 10.99.0.1/24 dev d0
ip link set d0 up
ip route add default dev d0
out=$(mktemp)
hyperfine -N --warmup 20 --runs 300 --export-json "$out" "$nuvik 001122334455" >/dev/null
python3 - "$out" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print("wake (nuvik 001122334455, whole process): median %.2f ms, mean %.2f ms, min %.2f ms over %d runs"
      % (r["median"] * 1e3, r["mean"] * 1e3, r["min"] * 1e3, len(r["times"])))
PY
rm -f "$out"
INNER
