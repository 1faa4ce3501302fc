#!/usr/bin/env bash
# Writes the scanned-page corpus: image-only PDFs (no text layer at all) of business
# letters with addresses mixing letters and digits, and truth.tsv listing every placed
# address with its file and page. The same seed gives the same files.
#
#   scripts/make-ocr-corpus.sh OUTDIR [seed]        64 pages in 16 files, ~500 addresses
#   scripts/make-ocr-corpus.sh --letter OUT.pdf     the one-page scan of tests/data
#   scripts/make-ocr-corpus.sh --disputed OUT.pdf   the page of tests/data/ocr/disputed.pdf
#
# Pages are set in 8 fonts at 9-12 pt, rendered by Ghostscript at 300 or 200 dpi, half
# of them blurred, half turned by 0.5-2 degrees, stored as 1-bit, grey or JPEG images.
# Needs: python3, ghostscript, imagemagick, fonts-urw-base35, fonts-dejavu-core,
# fonts-liberation.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
gen=$root/scripts/ocr-corpus.py
pdfgen=$root/scripts/pdfgen.py
for tool in python3 gs convert; do
  command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install ghostscript imagemagick)" >&2; exit 1; }
done

# One page: PostScript -> grey raster at DPI -> turned, blurred, stored as KIND.
render() { # ps dpi blur angle kind out-without-extension
  local ps=$1 dpi=$2 blur=$3 angle=$4 kind=$5 out=$6 w h sigma
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pgmraw -r"$dpi" -dTextAlphaBits=4 \
    -dGraphicsAlphaBits=4 -sOutputFile="$out.src.pgm" "$ps"
  w=$((dpi * 17 / 2)) h=$((dpi * 11))
  # The same blur on paper at both resolutions: about a tenth of a millimetre.
  sigma=$(awk -v d="$dpi" 'BEGIN { printf "%.2f", 1.1 * d / 300 }')
  local ops=(-background white -rotate "$angle" -gravity center -extent "${w}x${h}")
  [ "$blur" = 1 ] && ops+=(-blur "0x$sigma")
  case $kind in
    bw) convert "$out.src.pgm" "${ops[@]}" -threshold 55% -strip "pbm:$out.pbm"; echo "$out.pbm" ;;
    gray) convert "$out.src.pgm" "${ops[@]}" -strip "pgm:$out.pgm"; echo "$out.pgm" ;;
    jpeg) convert "$out.src.pgm" "${ops[@]}" -type Grayscale -quality 75 -strip "jpg:$out.jpg"; echo "$out.jpg" ;;
  esac
  rm -f "$out.src.pgm"
}

if [ "${1:-}" = --letter ] || [ "${1:-}" = --disputed ]; then
  [ $# -eq 2 ] || { echo "usage: $0 --letter|--disputed OUT.pdf" >&2; exit 2; }
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  if [ "$1" = --letter ]; then
    python3 "$gen" letter "$work/page.ps"
    img=$(render "$work/page.ps" 300 0 0.6 bw "$work/page")
  else
    python3 "$gen" disputed "$work/page.ps"
    img=$(render "$work/page.ps" 300 0 0 bw "$work/page")
  fi
  python3 "$pdfgen" imagepdf "$2" 300 "$img"
  exit 0
fi

[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: $0 OUTDIR [seed]" >&2; exit 2; }
out=$1
seed=${2:-1}
mkdir -p "$out"
rm -f "$out"/scan-*.pdf
python3 "$gen" corpus "$out" "$seed"
# Ghostscript quietly substitutes a font it cannot find; the corpus needs the real ones.
for font in $(cut -f4 "$out/plan.tsv" | tail -n +2 | sort -u); do
  if printf '/%s findfont pop\n' "$font" | gs -dSAFER -dBATCH -dNOPAUSE -dNODISPLAY - 2>&1 | grep -q Substituting; then
    echo "font $font not found by ghostscript (apt-get install fonts-urw-base35 fonts-dejavu-core fonts-liberation)" >&2
    exit 1
  fi
done
work=$out/images
rm -rf "$work"
mkdir -p "$work"

# Pages of the plan in order; a file is written when its last page is rendered.
declare -A pages=() dpis=()
order=()
while IFS=$'\t' read -r file page ps font size dpi blur angle kind; do
  [ "$file" = file ] && continue
  img=$(render "$out/$ps" "$dpi" "$blur" "$angle" "$kind" "$work/${file%.pdf}-$page")
  [ -n "${pages[$file]:-}" ] || order+=("$file")
  pages[$file]="${pages[$file]:-} $img"
  dpis[$file]=$dpi
done <"$out/plan.tsv"
for file in "${order[@]}"; do
  # shellcheck disable=SC2086 # the list of images is split on purpose
  python3 "$pdfgen" imagepdf "$out/$file" "${dpis[$file]}" ${pages[$file]}
done
rm -rf "$work"
echo "$(($(wc -l <"$out/plan.tsv") - 1)) pages in ${#order[@]} files, $(($(wc -l <"$out/truth.tsv") - 1)) addresses: $out"
