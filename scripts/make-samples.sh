#!/usr/bin/env bash
# Regenerates assets/Samples, the example files behind "Load Sample/Example
# Files". Not part of the build: the results are committed.
# Needs: python3, ghostscript, qpdf, ImageMagick (convert), poppler-utils.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/assets/Samples
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert

for tool in python3 gs qpdf pdftotext "$convert"; do
  command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install ghostscript qpdf imagemagick poppler-utils)" >&2; exit 1; }
done

work=$(mktemp -d "$root/.gen.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work MAGICK_TEMPORARY_PATH=$work PYTHONDONTWRITEBYTECODE=1
gen=$root/scripts/pdfgen.py

# Every file in the folder is offered to the user, so nothing else lives there.
rm -rf "$out"
mkdir -p "$out"
python3 "$gen" samples "$work"
cp "$work/newsletter-spring.pdf" "$work/staff-directory.pdf" "$out/"

# The password is in the name, so the user can try the password prompt.
qpdf --encrypt sample sample 256 -- "$work/protected.src.pdf" "$out/protected-password-is-sample.pdf"

# A typed letter made to look photographed: grey paper, a slight tilt, JPEG.
python3 "$gen" scanpage "$work/letter.pdf" sample
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pgmraw -r96 -dTextAlphaBits=4 \
  -sOutputFile="$work/letter.pgm" "$work/letter.pdf"
"$convert" "$work/letter.pgm" -background 'gray(97%)' -rotate 0.7 -gravity center \
  -extent 816x1056 -level 0%,100%,0.9 +level 6%,96% -strip -quality 40 \
  -sampling-factor 1x1 "$work/letter.jpg"
python3 "$gen" imagepdf "$out/scanned-letter.pdf" 96 "$work/letter.jpg"

# The scan must come out as form feeds only, the protected file only with its password.
[ "$(pdftotext "$out/scanned-letter.pdf" - | tr -d '\f')" = "" ] || { echo "scanned-letter.pdf has text" >&2; exit 1; }
pdftotext "$out/protected-password-is-sample.pdf" - >/dev/null 2>&1 && { echo "protected file opens without password" >&2; exit 1; }
pdftotext -opw sample "$out/protected-password-is-sample.pdf" - | grep -q '@' || { echo "protected file: no text with password" >&2; exit 1; }
ls -l "$out"
