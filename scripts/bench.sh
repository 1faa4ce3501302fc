#!/usr/bin/env bash
# Builds the benchmarks in Release and prints every figure, side by side with the
# standard tools on the same data. Usage: scripts/bench.sh [bench names...]
# (default: all of build-bench/bench/pelmora_bench_*).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench >/dev/null
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
echo "pdftotext: $(pdftotext -v 2>&1 | head -n 1); pdfgrep: $(pdfgrep --version | head -n 1); $(mutool -v 2>&1 | head -n 1)"
echo
if [ $# -gt 0 ]; then benches=("${@/#/build-bench/bench/pelmora_bench_}"); else benches=(build-bench/bench/pelmora_bench_*); fi
for bench in "${benches[@]}"; do
  "$bench"
  echo
done
echo "reproduce: scripts/bench.sh $*"
