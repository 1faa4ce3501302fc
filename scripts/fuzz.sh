#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz and runs each, one after the other, for
# the given number of seconds (default 60). Each starts from its committed seeds in
# fuzz/corpus/<target> plus whatever earlier runs here found (build-fuzz/corpus/<target>).
# Exits non-zero on the first mismatch or sanitizer report; the input is kept in
# build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build=build-fuzz
targets=(fuzz_extraction fuzz_unreadable fuzz_paths fuzz_protocol fuzz_ocrrepair)

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPELMORA_FUZZ=ON -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}"

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
# fuzz_unreadable writes a file for every input: far faster in memory.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
mkdir -p "$build/artifacts" "$build/logs"
summary=()
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  log="$build/logs/$target.log"
  echo "== $target for ${seconds}s"
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=30 -max_len=8192 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$target-" "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "$target FAILED: see $log and $build/artifacts/" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  units=$(find "$corpus" -type f | wc -l)
  bytes=$(du -sb "$corpus" | cut -f1)
  summary+=("$(printf '%-16s %10s runs %8s exec/s  corpus %6s inputs %9s bytes' "$target" "$runs" "$rate" "$units" "$bytes")")
done
printf '%s\n' "${summary[@]}"
