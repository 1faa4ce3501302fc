#!/usr/bin/env bash
# Regenerates tests/data/ocr/scan-and-text.pdf: page 1 a 300 dpi 1-bit picture of three
# addresses (no text layer), page 2 ordinary text. Not part of the build: the result is
# committed. Needs: python3, ghostscript, qpdf, poppler-utils (pdftotext).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/tests/data/ocr
for tool in python3 gs qpdf pdftotext; do
  command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install ghostscript qpdf poppler-utils)" >&2; exit 1; }
done
work=$(mktemp -d "$root/.gen.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work PYTHONDONTWRITEBYTECODE=1
gen=$root/scripts/pdfgen.py
mkdir -p "$out"

python3 "$gen" scanpage "$work/src.pdf" ocr
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pbmraw -r300 -dTextAlphaBits=1 -dFirstPage=1 -dLastPage=1 \
  -sOutputFile="$work/scan.pbm" "$work/src.pdf"
python3 "$gen" imagepdf "$work/scan.pdf" 300 "$work/scan.pbm"
qpdf --empty --pages "$work/scan.pdf" 1 "$work/src.pdf" 2 -- \
  --object-streams=generate --deterministic-id "$out/scan-and-text.pdf"

# Check the properties the tests rely on.
fail() { echo "check failed: $*" >&2; exit 1; }
pdf=$out/scan-and-text.pdf
[ "$(pdftotext -f 1 -l 1 "$pdf" - | od -An -c | tr -d ' \n')" = '\f' ] || fail "page 1 has text"
pdftotext -f 2 -l 2 "$pdf" - | grep -q 'typed@example.com' || fail "page 2 has no text"
ls -l "$out"
