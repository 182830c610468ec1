#!/usr/bin/env bash
# Sets up, builds and runs nuvik. Arguments go to the program:
#   scripts/run.sh                  the window
#   scripts/run.sh 001122334455     wake one host
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNUVIK_BUILD_TESTS=OFF >/dev/null
cmake --build build --target nuvik nuvik_window >/dev/null
exec build/nuvik "$@"
