#!/usr/bin/env bash
# Recall and precision of text recognition on the scanned-page corpora, then the pages per
# second of pelmora-extract --ocr with one worker and with one per core. Builds in
# Release (build-bench/), writes each corpus once (kept in build-bench/):
#   - the letters of scripts/make-ocr-corpus.sh, one per seed: the corpus the settings
#     (RecognitionSettings in src/worker/recognition/PageRecogniser.h) were chosen on;
#   - the cards and invoices of scripts/make-ocr-cards.sh (seed 1): made another way,
#     never tuned on;
#   - pages of real manuals scanned (scripts/make-ocr-real.py, from the labelled set of
#     scripts/labelled_set.py fetch): the corpus the vote's share was chosen on.
# For each, bench/ocr_pages.cpp recognises every page as the worker does, reading every
# piece of a line that holds an at-sign in every variant, and scripts/ocr-worker-score.py
# prints one table: each variant alone, then the vote of several combinations (the
# worker's marked), as "sure only" (what the worker hands on), "sure + confirmable" and
# "sure + unsure". Then whole pelmora-extract --ocr runs are scored (what the run keeps
# today: the sure addresses), and timed.
# When the tesseract command is installed, the tables of tesseract's own settings come
# first (scripts/ocr-eval.py, before and after the worker's settings).
# Usage: scripts/ocr-bench.sh [seed...]   (default: 1 2)
# Extra ocr-eval.py options go in OCR_EVAL_ARGS, e.g. OCR_EVAL_ARGS="--psm 6".
# Needs: poppler-utils, ghostscript, imagemagick, fonts-urw-base35, fonts-dejavu-core,
# fonts-liberation (scripts/setup-debian.sh --dev); tesseract-ocr-script-latn for the second model.
set -euo pipefail
cd "$(dirname "$0")/.."
seeds=("$@")
[ ${#seeds[@]} -gt 0 ] || seeds=(1 2)
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target pelmora_ocr_pages pelmora_ocr_repair pelmora-extract pelmora-convert >/dev/null
echo "tesseract $(pkg-config --modversion tesseract), eng data $(dpkg-query -W -f='${Version}' tesseract-ocr-eng 2>/dev/null || echo '?'), Latin data $(dpkg-query -W -f='${Version}' tesseract-ocr-script-latn 2>/dev/null || echo 'not installed')"
export OMP_THREAD_LIMIT=1

corpora=()
for seed in "${seeds[@]}"; do
  corpus=build-bench/ocr-corpus-$seed
  [ -f "$corpus/truth.tsv" ] && [ -f "$corpus/scan-16-200dpi-blur.pdf" ] || scripts/make-ocr-corpus.sh "$corpus" "$seed" >/dev/null
  corpora+=("$corpus")
done
cards=build-bench/ocr-cards-1
[ -f "$cards/truth.tsv" ] && [ -f "$cards/invoice-16-200dpi.pdf" ] || scripts/make-ocr-cards.sh "$cards" 1 >/dev/null
# Pages of real manuals, scanned: needs the labelled set (scripts/labelled_set.py fetch).
real=build-bench/ocr-real
[ -f "$real/truth.tsv" ] || python3 scripts/make-ocr-real.py "$real" >/dev/null

# tesseract's own settings, as before the worker's recognition was built on them.
if command -v tesseract >/dev/null; then
  repair=build-bench/bench/pelmora_ocr_repair
  for corpus in "${corpora[@]}"; do
    for opts in "" "--no-dict --min-conf 50"; do
      echo
      echo "== $corpus, tesseract ${opts:-as it comes} (scripts/ocr-eval.py)"
      # shellcheck disable=SC2086 # options are split on purpose
      python3 scripts/ocr-eval.py "$corpus" $opts --groups all,dpi --repair "$repair" ${OCR_EVAL_ARGS:-}
    done
  done
fi

# The worker's recognition, variant by variant and voted.
pairs=()
for corpus in "${corpora[@]}" "$cards" "$real"; do
  build-bench/bench/pelmora_ocr_pages "$corpus"/*.pdf >"$corpus/pages.jsonl" 2>/dev/null
done
for corpus in "${corpora[@]}"; do
  pairs+=("$corpus" "$corpus/pages.jsonl")
done
echo
echo "== the worker on the letters, seeds ${seeds[*]}: found, recall, precision"
python3 scripts/ocr-worker-score.py "${pairs[@]}"
echo
echo "== the worker on the cards and invoices (not tuned on): found, recall, precision"
python3 scripts/ocr-worker-score.py "$cards" "$cards/pages.jsonl"
echo
echo "== the worker on scans of real manuals (the vote's share chosen here): found, recall, precision"
python3 scripts/ocr-worker-score.py "$real" "$real/pages.jsonl"

# The program itself, as shipped: the worker's settings and vote, the run's repairs.
echo
echo "== pelmora-extract --ocr: recall / precision of whole runs"
results=$(mktemp)
trap 'rm -f "$results"' EXIT
for corpus in "${corpora[@]}" "$cards"; do
  build-bench/bin/pelmora-extract -q --ocr --format jsonl -o "$results" "$corpus"/*.pdf || true
  echo "$corpus: $(python3 scripts/ocr-score-run.py "$corpus" "$results")"
done
# The manuals' two resolutions hold the same addresses: a run each.
for dpi in 300 200; do
  build-bench/bin/pelmora-extract -q --ocr --format jsonl -o "$results" "$real"/*-"$dpi"-*.pdf || true
  echo "$real, $dpi dpi: $(python3 scripts/ocr-score-run.py "$real" "$results" "$real"/*-"$dpi"-*.pdf)"
done

# Throughput: the manuals' pages at 300 dpi, dense print of real documents.
corpus=$real
pages=0
scans=("$corpus"/*-300-*.pdf)
for pdf in "${scans[@]}"; do pages=$((pages + $(pdfinfo "$pdf" | awk '/^Pages:/ { print $2 }'))); done
echo
echo "== pelmora-extract --ocr over $pages scanned pages at 300 dpi ($corpus), median of 3"
for jobs in 1 "$(nproc)"; do
  times=()
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    build-bench/bin/pelmora-extract -q --ocr -j "$jobs" "${scans[@]}" >/dev/null || true
    times+=("$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')")
  done
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 2p)
  awk -v j="$jobs" -v t="$median" -v p="$pages" 'BEGIN { printf "%d worker(s): %.1f s, %.2f pages per second\n", j, t, p / t }'
done
echo
echo "reproduce: scripts/ocr-bench.sh ${seeds[*]}"
