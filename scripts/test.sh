#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite:
#  0. the format: clang-format (.clang-format) and black (pyproject.toml)
#     would change nothing;
#  1. the normal build: unit tests, Qt window tests, end-to-end tests in
#     private network namespaces (need root; CI fails rather than skips them);
#  2. the core again with AddressSanitizer and UndefinedBehaviorSanitizer:
#     unit and end-to-end tests, failing on any report.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
jobs=$(nproc)

echo "== format"
if [ -d .git ]; then
  mapfile -t cxx < <(git ls-files '*.cpp' '*.h')
  mapfile -t py < <(git ls-files '*.py')
else
  mapfile -t cxx < <(find . -path ./build -prune -o -path './build-*' -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print)
  mapfile -t py < <(find . -path ./build -prune -o -path './build-*' -prune -o -type f -name '*.py' -print)
fi
clang-format --dry-run -Werror "${cxx[@]}"
black --check --quiet "${py[@]}"

echo "== build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNUVIK_BUILD_TESTS=ON -DNUVIK_BUILD_WINDOW=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j1)

echo "== sanitizers (address, undefined)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNUVIK_SANITIZE=ON -DNUVIK_BUILD_WINDOW=OFF -DNUVIK_BUILD_TESTS=ON >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j1)
