#!/usr/bin/env bash
# Writes the second scanned-page corpus: image-only PDFs of business-card sheets and
# invoices (scripts/ocr-cards.py), drawn by ImageMagick in fonts the first corpus does not
# use, and truth.tsv listing every placed address with its file and page. It checks the
# recognition on pages it was not tuned on; the same seed gives the same files.
#
#   scripts/make-ocr-cards.sh OUTDIR [seed]        64 pages in 16 files, ~460 addresses
#
# Pages are drawn at 300 or 200 dpi, half of them turned by 0.3-1.5 degrees, half with
# a little noise, stored as grey, JPEG or 1-bit images.
# Needs: python3, imagemagick, fonts-urw-base35, fonts-dejavu-core, fonts-liberation.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
command -v convert >/dev/null || { echo "missing convert (apt-get install imagemagick)" >&2; exit 1; }
[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: $0 OUTDIR [seed]" >&2; exit 2; }
out=$1
seed=${2:-1}
mkdir -p "$out"
rm -f "$out"/*.pdf
python3 "$root/scripts/ocr-cards.py" "$out" "$seed"
# ImageMagick quietly draws with another font when one is missing.
known=$(convert -list font)
for font in $(cut -f4 "$out/plan.tsv" | tail -n +2 | sort -u); do
  grep -qx "  Font: $font" <<<"$known" ||
    { echo "font $font not known to ImageMagick (apt-get install fonts-urw-base35 fonts-dejavu-core fonts-liberation)" >&2; exit 1; }
done
work=$out/images
rm -rf "$work"
mkdir -p "$work"
declare -A pages=() dpis=()
order=()
while IFS=$'\t' read -r file page mvg _font _size dpi noise angle kind; do
  [ "$file" = file ] && continue
  base=$work/${file%.pdf}-$page
  ops=(-background white -rotate "$angle" -gravity center -extent "$((dpi * 17 / 2))x$((dpi * 11))")
  # Noise of a flatbed scanner; seeded, so the same seed gives the same pixels.
  [ "$noise" = 1 ] && ops+=(-seed "$page" -attenuate 0.3 +noise Gaussian)
  case $kind in
    gray) img=$base.pgm; convert "mvg:$out/$mvg" "${ops[@]}" -colorspace Gray -strip "pgm:$img" ;;
    jpeg) img=$base.jpg; convert "mvg:$out/$mvg" "${ops[@]}" -colorspace Gray -quality 70 -strip "jpg:$img" ;;
    bw) img=$base.pbm; convert "mvg:$out/$mvg" "${ops[@]}" -colorspace Gray -threshold 60% -strip "pbm:$img" ;;
  esac
  [ -n "${pages[$file]:-}" ] || order+=("$file")
  pages[$file]="${pages[$file]:-} $img"
  dpis[$file]=$dpi
done <"$out/plan.tsv"
for file in "${order[@]}"; do
  # shellcheck disable=SC2086 # the list of images is split on purpose
  python3 "$root/scripts/pdfgen.py" imagepdf "$out/$file" "${dpis[$file]}" ${pages[$file]}
done
rm -rf "$work"
echo "$(($(wc -l <"$out/plan.tsv") - 1)) pages in ${#order[@]} files, $(($(wc -l <"$out/truth.tsv") - 1)) addresses: $out"
