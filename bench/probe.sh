#!/bin/sh
# The probe engine's cost over a /16: a scan of 65,536 addresses at its pace
# (1,000 new addresses a second) on a simulated link that runs in real time
# (nothing is sent). Prints wall and CPU time; the goal is CPU at most a
# fifth of the wall time.
#   bench/probe.sh [BUILD_DIR] [EVERY]   (one host in EVERY addresses, default 64)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
[ -d "$build" ] || cmake -G Ninja -S "$root" -B "$build" >/dev/null
ninja -C "$build" -j2 nuvik_bench_probe >/dev/null
echo "== the scan of a /16 by the probe engine, simulated link (goal: CPU <= wall / 5)"
"$build/bench/nuvik_bench_probe" "${2:-64}"
