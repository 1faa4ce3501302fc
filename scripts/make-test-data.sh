#!/usr/bin/env bash
# Regenerates the PDFs in tests/data. Not part of the build: the results are
# committed, so run this only after changing what the files should contain,
# then check tests/data/README.md against `scripts/make-test-data.sh --show`.
# Needs: python3, ghostscript, qpdf, poppler-utils (pdftotext).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/tests/data

show() {
  # What the converter yields for each file, as the README lists it.
  local f
  for f in "$out"/*.pdf; do
    local name txt pw=()
    name=$(basename "$f")
    [ "$name" = encrypted.pdf ] && pw=(-opw secret)
    echo "== $name"
    txt=$(pdftotext "${pw[@]}" "$f" - 2>/dev/null) || { echo "(no text: pdftotext failed)"; continue; }
    printf '%s' "$txt" | python3 "$root/scripts/list-addresses.py" /dev/stdin
  done
}
if [ "${1:-}" = --show ]; then show; exit 0; fi

for tool in python3 gs qpdf pdftotext; do
  command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install ghostscript qpdf poppler-utils)" >&2; exit 1; }
done

# Scratch space inside the tree keeps every tool's temporary files here too.
work=$(mktemp -d "$root/.gen.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work PYTHONDONTWRITEBYTECODE=1
gen=$root/scripts/pdfgen.py

mkdir -p "$out"
python3 "$gen" testdata "$work"

# Ordinary text files, as written.
for name in contacts-1 contacts-2 edge-cases noaddress; do
  cp "$work/$name.pdf" "$out/$name.pdf"
done

# Page trees that count no pages, or a forged billion, or list themselves; pages whose
# contents were cut off.
mkdir -p "$out/forged"
cp "$work/no-pages.pdf" "$work/forged-count.pdf" "$work/self-listing-tree.pdf" "$work/self-listing-with-page.pdf" \
  "$work/contents-cut-off.pdf" "$out/forged/"

# Pictures that declare far more pixels than they hold, and a page of small print past
# poppler's limit: each must end with its page named, never hang or take gigabytes.
mkdir -p "$out/bombs"
python3 "$gen" bombs "$out/bombs"
# One page tree node listing 2,500 pages: read whole, in time linear in the count.
python3 "$gen" flattree "$out/bombs/flat-tree.pdf" 2500
# The same node counting one page more than it lists: the page it lacks is named.
python3 "$gen" flattree "$out/bombs/flat-tree-overcounted.pdf" 2500 2501
# The same node with every third page written into it rather than referred to.
python3 "$gen" flattree "$out/bombs/flat-tree-direct.pdf" 2500 - direct

# What a reader opens besides the pages' text: notes, form values, metadata, attached files
# (a bomb and a kind that is not read among them); the expected-*.csv there are the
# command's output, checked by hand against the comments in pdfgen.py.
python3 "$gen" sources "$out/sources"

# Footnote marks against addresses: a change of size or baseline ends a word; letters
# drawn out of order are read in the order a reader sees them; an underscore drawn as a
# rule is an underscore.
mkdir -p "$out/words"
cp "$work/superscripts.pdf" "$work/drawing-order.pdf" "$work/drawn-underscore.pdf" "$out/words/"

# 150 pages: object streams keep it small; the ID is derived from the content.
qpdf --object-streams=generate --deterministic-id "$work/long.pdf" "$out/long.pdf"

# AES-256. The program hands its password over as -opw, so the owner password
# must be the same as the open password. qpdf picks a fresh random file key on
# every run, so these two files change bytes each time they are made.
qpdf --encrypt secret secret 256 -- "$work/encrypted.src.pdf" "$out/encrypted.pdf"
qpdf --encrypt "" restrict-owner 256 --print=none --extract=n --modify=none \
  --annotate=n --form=n --assemble=n -- "$work/restricted.src.pdf" "$out/restricted.pdf"

# A picture of a text page, with no text layer at all.
python3 "$gen" scanpage "$work/scan-src.pdf" test
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pbmraw -r100 -dTextAlphaBits=1 \
  -sOutputFile="$work/scan.pbm" "$work/scan-src.pdf"
python3 "$gen" imagepdf "$out/scanned.pdf" 100 "$work/scan.pbm"

# For text recognition: page 1 a 300 dpi picture of three addresses, page 2 ordinary text.
mkdir -p "$out/ocr"
python3 "$gen" scanpage "$work/ocr-src.pdf" ocr
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pbmraw -r300 -dTextAlphaBits=1 -dFirstPage=1 -dLastPage=1 \
  -sOutputFile="$work/ocr-scan.pbm" "$work/ocr-src.pdf"
python3 "$gen" imagepdf "$work/ocr-scan.pdf" 300 "$work/ocr-scan.pbm"
qpdf --empty --pages "$work/ocr-scan.pdf" 1 "$work/ocr-src.pdf" 2 -- \
  --object-streams=generate --deterministic-id "$out/ocr/scan-and-text.pdf"
# The same page scanned in grey and stored at 16 bits a sample.
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pgmraw -r300 -dTextAlphaBits=4 -dFirstPage=1 -dLastPage=1 \
  -sOutputFile="$work/ocr-scan.pgm" "$work/ocr-src.pdf"
python3 "$gen" grey16 "$work/ocr-scan.pgm" "$work/ocr-scan16.pgm"
python3 "$gen" imagepdf "$out/ocr/grey16.pdf" 300 "$work/ocr-scan16.pgm"

# A valid four-page file cut off at half its length (inside page 2's content).
size=$(stat -c %s "$work/damaged.src.pdf")
head -c $((size / 2)) "$work/damaged.src.pdf" >"$out/damaged.pdf"

: >"$out/empty.pdf"
printf '%s\n' "This is a plain text file that only pretends to be a PDF." \
  "It mentions fake@example.com but is not a PDF at all." >"$out/notpdf.pdf"

# Check the properties the tests rely on.
fail() { echo "check failed: $*" >&2; exit 1; }
conv() { pdftotext "$@" 2>/dev/null; }
conv "$out/encrypted.pdf" - >/dev/null && fail "encrypted.pdf opens without a password"
conv -opw secret "$out/encrypted.pdf" - | grep -q 'vault@example.com' || fail "encrypted.pdf with -opw secret"
conv -opw wrong "$out/encrypted.pdf" - >/dev/null && fail "encrypted.pdf opens with a wrong password"
conv "$out/restricted.pdf" - | grep -q 'readonly@example.com' || fail "restricted.pdf without a password"
[ "$(conv "$out/scanned.pdf" - | od -An -c | tr -d ' \n')" = '\f' ] || fail "scanned.pdf has text"
[ "$(conv -f 1 -l 1 "$out/ocr/scan-and-text.pdf" - | od -An -c | tr -d ' \n')" = '\f' ] || fail "scan-and-text.pdf page 1 has text"
conv -f 2 -l 2 "$out/ocr/scan-and-text.pdf" - | grep -q 'typed@example.com' || fail "scan-and-text.pdf page 2 has no text"
conv -f 1 -l 100 "$out/long.pdf" - | grep -q 'page100@example.com' || fail "long.pdf page 100"
conv -f 1 -l 100 "$out/long.pdf" - | grep -q 'page101@' && fail "long.pdf converts past page 100"
[ "$(conv "$out/long.pdf" - | grep -c '@example.com')" = 150 ] || fail "long.pdf address count"
for bad in damaged empty notpdf; do
  conv "$out/$bad.pdf" - >/dev/null && fail "$bad.pdf converts"
done
echo "tests/data written; addresses per file:"
show
