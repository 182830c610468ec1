#!/bin/sh
# Window start-up with a large address book; prints the median figures.
# Runs on Qt's offscreen platform: needs no display, and sends nothing.
#   bench/window.sh [BUILD_DIR] [HOSTS]     (defaults: build, 100000)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
[ -d "$build" ] || cmake -G Ninja -S "$root" -B "$build" -DNUVIK_BUILD_WINDOW=ON >/dev/null
ninja -C "$build" -j2 nuvik_bench_window >/dev/null
QT_QPA_PLATFORM=offscreen "$build/bench/nuvik_bench_window" "${2:-100000}" 3 2>&1 |
    grep -v -e "This plugin does not support" -e XDG_RUNTIME_DIR
