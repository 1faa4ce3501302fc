#!/usr/bin/env bash
# Recall and precision of text recognition on the scanned-page corpus, before and after
# the settings and repairs the program uses, then the pages per second of
# pelmora-extract --ocr with one worker and with one per core. Builds the repair filter and
# the command in Release, writes the corpus for each seed (once, kept in build-bench/),
# recognises it with tesseract as the converter worker does and prints, per seed, the
# table before (eng with its word lists) and after (eng without word lists, words below
# confidence 50 blanked: RecognitionSettings in src/worker/PageRecogniser.h), each with the
# text as recognised, the earlier repairs (at, dashes) and the default repairs (those and
# the look-alike case repair); then one line per setting over all seeds. Tesseract's
# Latin-script model is measured too when it is installed (tesseract-ocr-script-latn).
# Usage: scripts/ocr-bench.sh [seed...]   (default: 1 2)
# Extra ocr-eval.py options go in OCR_EVAL_ARGS, e.g. OCR_EVAL_ARGS="--psm 6".
# Needs: tesseract-ocr, tesseract-ocr-eng, poppler-utils, ghostscript, imagemagick,
# fonts-urw-base35, fonts-dejavu-core, fonts-liberation (scripts/setup-debian.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
seeds=("$@")
[ ${#seeds[@]} -gt 0 ] || seeds=(1 2)
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target pelmora_ocr_repair pelmora-extract pelmora-convert >/dev/null
repair=build-bench/bench/pelmora_ocr_repair
echo "tesseract: $(tesseract --version 2>&1 | head -n 1), eng data $(dpkg-query -W -f='${Version}' tesseract-ocr-eng 2>/dev/null || echo '?')"

# name|ocr-eval.py options; "before:" and "after:" get full tables.
settings=(
  "before: eng|"
  "eng without word lists|--no-dict"
  "after: eng without word lists, below 50 blanked|--no-dict --min-conf 50"
)
if tesseract --list-langs 2>/dev/null | grep -qx Latin; then
  settings+=(
    "Latin without word lists|--lang Latin --no-dict"
    "Latin without word lists, below 50 blanked|--lang Latin --no-dict --min-conf 50"
  )
fi
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
for seed in "${seeds[@]}"; do
  corpus=build-bench/ocr-corpus-$seed
  [ -f "$corpus/truth.tsv" ] && [ -f "$corpus/scan-16-200dpi-blur.pdf" ] || scripts/make-ocr-corpus.sh "$corpus" "$seed" >/dev/null
  for s in "${settings[@]}"; do
    name=${s%%|*} opts=${s#*|}
    out=$(
      # shellcheck disable=SC2086 # options are split on purpose
      python3 scripts/ocr-eval.py "$corpus" $opts --repair "$repair --only at,dashes" --repair "$repair" ${OCR_EVAL_ARGS:-}
    )
    case $name in before:* | after:*)
      echo
      echo "== corpus seed $seed, $name"
      echo "$out" ;;
    esac
    # placed, then found and correct for recognised, earlier repairs, default repairs
    echo "$out" | awk -v n="$name" -F'|' '$1 ~ /^all / { split($1, a, " "); printf "%s|%s", n, a[2];
      for (i = 2; i <= 4; i++) { split($i, b, " "); printf "|%s|%s", b[1], b[2] } print "" }' >>"$summary"
  done
done
echo
echo "== all seeds (${seeds[*]}): recall / precision"
printf '%-48s %6s  %-15s  %-15s  %-15s\n' setting placed recognised "at,dashes" "default repairs"
awk -F'|' '{ key = $1; if (!(key in seen)) { seen[key] = 1; order[++n] = key }
             p[key] += $2; for (i = 0; i < 3; i++) { f[key, i] += $(3 + 2 * i); c[key, i] += $(4 + 2 * i) } }
  END { for (k = 1; k <= n; k++) { key = order[k]; printf "%-48s %6d", key, p[key];
          for (i = 0; i < 3; i++) printf "  %.3f / %.3f  ", c[key, i] / p[key], (f[key, i] ? c[key, i] / f[key, i] : 1)
          print "" } }' "$summary"

# The program itself, as shipped: the worker's settings, its confidence rule, the repairs.
echo
echo "== pelmora-extract --ocr: recall / precision of whole runs"
results=$(mktemp)
trap 'rm -f "$summary" "$results"' EXIT
for seed in "${seeds[@]}"; do
  build-bench/bin/pelmora-extract -q --ocr --format jsonl -o "$results" build-bench/ocr-corpus-"$seed"/*.pdf || true
  echo "seed $seed: $(python3 scripts/ocr-score-run.py build-bench/ocr-corpus-"$seed" "$results")"
done

# Throughput: every page of the first seed's corpus is a scan.
corpus=build-bench/ocr-corpus-${seeds[0]}
pages=0
for pdf in "$corpus"/*.pdf; do pages=$((pages + $(pdfinfo "$pdf" | awk '/^Pages:/ { print $2 }'))); done
echo
echo "== pelmora-extract --ocr over $pages scanned pages (corpus seed ${seeds[0]}), median of 3"
for jobs in 1 "$(nproc)"; do
  times=()
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    build-bench/bin/pelmora-extract -q --ocr -j "$jobs" "$corpus"/*.pdf >/dev/null || true
    times+=("$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')")
  done
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 2p)
  awk -v j="$jobs" -v t="$median" -v p="$pages" 'BEGIN { printf "%d worker(s): %.1f s, %.2f pages per second\n", j, t, p / t }'
done
echo
echo "reproduce: scripts/ocr-bench.sh ${seeds[*]}"
