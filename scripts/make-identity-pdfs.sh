#!/usr/bin/env bash
# Regenerates tests/data/identity: PDFs on which pelmora-convert must write exactly
# what pdftotext writes (tests/worker). Not part of the build: the results are
# committed. Needs: Debian's python3-reportlab, qpdf, poppler-utils, fonts-dejavu-core.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/tests/data/identity

/usr/bin/python3 -c 'import reportlab' 2>/dev/null ||
  { echo "missing reportlab (apt-get install python3-reportlab)" >&2; exit 1; }
for tool in qpdf pdftotext; do
  command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install qpdf poppler-utils)" >&2; exit 1; }
done
[ -f /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf ] ||
  { echo "missing DejaVuSans.ttf (apt-get install fonts-dejavu-core)" >&2; exit 1; }

work=$(mktemp -d "$root/.gen.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work PYTHONDONTWRITEBYTECODE=1
mkdir -p "$out"
/usr/bin/python3 "$root/scripts/identitygen.py" "$work"

# Object streams keep them small; the ID is derived from the content.
for name in columns rotated cropbox scripts links; do
  qpdf --object-streams=generate --deterministic-id "$work/$name.pdf" "$out/$name.pdf"
done
qpdf --object-streams=generate --deterministic-id "$work/pages-200.src.pdf" "$out/pages-200.pdf"

# AES-256 with distinct user and owner passwords; AES-128; and a user password of 45
# characters, which pdftotext cuts at 32 and so never opens. qpdf picks a new random
# key on every run, so these change bytes each time they are made.
long_user=a-user-password-of-forty-five-characters-long
qpdf --encrypt identity-user identity-owner 256 -- "$work/protected.src.pdf" "$out/protected-aes256.pdf"
qpdf --encrypt identity-user128 identity-owner128 128 --use-aes=y -- \
  "$work/protected.src.pdf" "$out/protected-aes128.pdf"
qpdf --encrypt "$long_user" long-owner 256 -- "$work/protected.src.pdf" "$out/protected-long.pdf"
# RC4 (revision 3) with a password beyond ASCII, which qpdf stores in PDFDocEncoding:
# pdftotext opens it only with the Latin-1 bytes.
qpdf --allow-weak-crypto --encrypt café rc4-owner 128 --use-aes=n -- \
  "$work/protected.src.pdf" "$out/protected-rc4.pdf"

# Check the properties the tests rely on.
fail() { echo "check failed: $*" >&2; exit 1; }
conv() { pdftotext "$@" 2>/dev/null; }
[ ${#long_user} = 45 ] || fail "the long password is not 45 characters"
conv -upw "$long_user" "$out/protected-long.pdf" - >/dev/null && fail "pdftotext opens protected-long.pdf"
conv -opw long-owner "$out/protected-long.pdf" - | grep -q guarded@example.com || fail "protected-long.pdf, owner"
conv "$out/protected-aes256.pdf" - >/dev/null && fail "protected-aes256.pdf opens without a password"
conv -upw identity-user "$out/protected-aes256.pdf" - | grep -q guarded@ || fail "protected-aes256.pdf, user"
conv -upw identity-user128 "$out/protected-aes128.pdf" - | grep -q guarded@ || fail "protected-aes128.pdf, user"
conv -upw café "$out/protected-rc4.pdf" - >/dev/null && fail "pdftotext opens protected-rc4.pdf with UTF-8"
conv -upw "$(printf 'caf\351')" "$out/protected-rc4.pdf" - | grep -q guarded@ || fail "protected-rc4.pdf, Latin-1"
[ "$(conv "$out/pages-200.pdf" - | grep -c '@example.com')" = 200 ] || fail "pages-200.pdf address count"
conv "$out/scripts.pdf" - | grep -q 'Καλημέρα' || fail "scripts.pdf Greek"
conv "$out/links.pdf" - | grep -q 'hidden.person' && fail "links.pdf shows its link target as text"
conv "$out/cropbox.pdf" - | grep -q outside-top@ || fail "cropbox.pdf, text outside the crop box"
ls -l "$out"
