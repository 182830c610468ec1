#!/bin/sh
# Builds the profile reader's fuzz target with libFuzzer and the address and
# undefined-behaviour sanitizers into the directory given, then runs it over a
# bounded number of inputs. Fails on any crash, leak or sanitizer report.
#   tests/fuzz/run.sh OUTDIR [RUNS]
set -eu
out=${1:?usage: run.sh OUTDIR [RUNS]}
runs=${2:-200000}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
mkdir -p "$out/corpus"

clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I "$root" "$here/fuzz_ini.cpp" "$root/hosts/IniFile.cpp" -o "$out/fuzz_ini"

# A small seed corpus of the shapes the reader knows.
printf '[list]\r\n0=pc1 192.168.0.10 001122334455\r\n1=nas 192.168.0.20 00AABBCCDDEE\r\n' >"$out/corpus/crlf"
printf '\357\273\277[List]\n; comment\n 0 = "quoted" \n1='"'"'single'"'"'\n[list]\n2=late\n' >"$out/corpus/bom"
printf '[other]\nx=1\n[list\n0\n=v\n1=a=b\n\n' >"$out/corpus/odd"

UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1 \
    "$out/fuzz_ini" -runs="$runs" -max_len=8192 -print_final_stats=1 "$out/corpus"
