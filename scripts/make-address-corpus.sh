#!/usr/bin/env bash
# Regenerates the address trap corpus in tests/data/addresses: a TeX-made page
# (plain pdftex, Computer Modern without Unicode maps, as older papers and manuals
# are) and a page of Unicode and web text (pdfgen.py). The expected lists beside
# them are written by hand; tests/data/addresses/README.md says why each entry is
# there. `--show` prints what pdftotext gives for each file, to check them against.
# Needs: pdftex (Debian texlive-base), python3, poppler-utils. The same input gives
# the same bytes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/tests/data/addresses

if [ "${1:-}" = --show ]; then
  for f in "$out"/*.pdf; do echo "== $(basename "$f")"; pdftotext "$f" -; done
  exit 0
fi
for tool in pdftex python3 pdftotext; do
  command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install texlive-base poppler-utils)" >&2; exit 1; }
done

work=$(mktemp -d "$root/.gen.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

cat >"$work/typeset.tex" <<'TEX'
\pdfinfoomitdate=1 \pdftrailerid{} \pdfsuppressptexinfo=-1
\nopagenumbers \parindent=0pt \parskip=4pt
{\bf Macro and file names of a \TeX\ document}\par
{\tt ver@array.sty}, {\tt ver@microtype.dtx}, {\tt MT@MT.cfg}, {\tt MT@MT.pdf},
{\tt LWR@sanitized-0.html}, {\tt opt@hyperref.sty}, {\tt atfi@driver.def},
{\tt sv@nestcount.tmp}, {\tt c@page.aux}\par
Code whose names end like a top-level domain: {\tt \string\dtt@figname.dot},
{\tt (\string\snk@oldname.center)},\par {\tt mailto:\#1.\#2@institute.fr}\par
{\bf Authors in angle brackets, in a font without a Unicode map}\par
Dominik Wujastyk $\langle$D.Wujastyk@ucl.ac.uk$\rangle$\par
Nick Higham $\langle$higham@ma.man.ac.uk$\rangle$\par
$\langle$hank@Blimp.automat.uni-essen.de$\rangle$ and $\langle$asnd@erich.triumf.ca$\rangle$\par
$\langle$info@example.com$\rangle$, while $\langle$ver@array.sty$\rangle$ stays a file name\par
Both readings end in a known domain, so nothing is repaired: $\langle$x@host.mo$\rangle$\par
{\bf Made-up endings, dashes and quotes}\par
pearson@stats.heaven; Kathy Brown --kb@cs.umb.edu; ---em@ctan.org\par
``editor@tug.org'' and `single@tug.org'\par
{\bf Braces}\par
{\tt \char`\{ann,ben\char`\}@cs.example.edu} and $\{$carl,dina$\}$@math.example.edu\par
\bye
TEX
(cd "$work" && SOURCE_DATE_EPOCH=0 FORCE_SOURCE_DATE=1 pdftex -interaction=batchmode typeset.tex >/dev/null)
cp "$work/typeset.pdf" "$out/typeset.pdf"
python3 "$root/scripts/pdfgen.py" addresstraps "$out/traps.pdf"

# What the expected lists rely on: the converter reads the brackets as "h" and "i".
pdftotext "$out/typeset.pdf" - | grep -q 'hD.Wujastyk@ucl.ac.uki' ||
  { echo "check failed: typeset.pdf has a Unicode map for its brackets" >&2; exit 1; }
