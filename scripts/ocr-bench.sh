#!/usr/bin/env bash
# Recall and precision of text recognition on the scanned-page corpus, without and with
# the program's repair: builds the repair filter, writes the corpus for each seed (once,
# kept in build-bench/), recognises it with tesseract as the converter worker does and
# prints one table per seed. Usage: scripts/ocr-bench.sh [seed...]   (default: 1 2)
# Extra ocr-eval.py options go in OCR_EVAL_ARGS, e.g. OCR_EVAL_ARGS="--psm 6".
# Needs: tesseract-ocr, tesseract-ocr-eng, poppler-utils, ghostscript, imagemagick,
# fonts-urw-base35, fonts-dejavu-core, fonts-liberation.
set -euo pipefail
cd "$(dirname "$0")/.."
seeds=("$@")
[ ${#seeds[@]} -gt 0 ] || seeds=(1 2)
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target pelmora_ocr_repair >/dev/null
echo "tesseract: $(tesseract --version 2>&1 | head -n 1), eng data $(dpkg-query -W -f='${Version}' tesseract-ocr-eng 2>/dev/null || echo '?')"
for seed in "${seeds[@]}"; do
  corpus=build-bench/ocr-corpus-$seed
  [ -f "$corpus/truth.tsv" ] && [ -f "$corpus/scan-16-200dpi-blur.pdf" ] || scripts/make-ocr-corpus.sh "$corpus" "$seed" >/dev/null
  echo
  echo "== corpus seed $seed"
  # shellcheck disable=SC2086 # extra options are split on purpose
  python3 scripts/ocr-eval.py "$corpus" --repair build-bench/bench/pelmora_ocr_repair ${OCR_EVAL_ARGS:-}
done
echo
echo "reproduce: scripts/ocr-bench.sh ${seeds[*]}"
