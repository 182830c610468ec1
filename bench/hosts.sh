#!/bin/sh
# The hosts window with a large address book: the time until it shows every
# row, and the longest stall of its event loop while the real engine probes
# every host and keys are typed. Runs on Qt's offscreen platform in a private
# network namespace (needs root): the probes go out on a bridge of its own
# where nobody answers, and nothing leaves the machine.
#   bench/hosts.sh [BUILD_DIR] [HOSTS] [SECONDS]     (defaults: build, 10000, 20)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
[ -d "$build" ] || cmake -G Ninja -S "$root" -B "$build" -DNUVIK_BUILD_WINDOW=ON >/dev/null
ninja -C "$build" -j2 nuvik_bench_hosts >/dev/null
QT_QPA_PLATFORM=offscreen unshare -n sh -c '
  ip link set lo up
  ip link add br0 type bridge && ip addr add 10.80.0.1/16 dev br0 && ip link set br0 up
  exec "$0" "$1" "$2"' "$build/bench/nuvik_bench_hosts" "${2:-10000}" "${3:-20}" 2>&1 |
    grep -v -e "This plugin does not support" -e XDG_RUNTIME_DIR
