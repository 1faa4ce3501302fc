#!/usr/bin/env bash
# Builds the benchmarks in Release and prints every figure, side by side with the
# standard tools on the same data. Usage: scripts/bench.sh [files] [pages]
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-300}
pages=${2:-3}
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench >/dev/null
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
echo "pdftotext: $(pdftotext -v 2>&1 | head -n 1)"
echo
for bench in build-bench/bench/pelmora_bench_*; do
  case "$(basename "$bench")" in
    pelmora_bench_batch) "$bench" "$files" "$pages" ;;
    *) "$bench" ;;
  esac
  echo
done
echo "reproduce: scripts/bench.sh $files $pages"
