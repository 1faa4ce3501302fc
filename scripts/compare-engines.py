#!/usr/bin/env python3
"""Compares the addresses the two engines of the converter find, file by file.

    scripts/compare-engines.py [--build DIR] [--skip-manuals] [--skip-scans]

Runs `pelmora-extract --format lines --engine poppler|mupdf` on each file alone over:
the committed test PDFs (tests/data, its identity/ and ocr/ folders, assets/Samples),
the corpora the batch benchmark generates (bench/PdfCorpus), the scanned-page corpus of
scripts/make-ocr-corpus.sh (read with --ocr, as are the committed scans), and Debian's
LaTeX and R manuals when installed (apt-get install texlive-latex-base-doc r-doc-pdf).
Prints, per set, how many files gave the same addresses (order aside) and, for each
file that did not, the addresses only one engine found, each with the line of
pdftotext's and of `mutool draw -F txt`'s text it stands on, and its known cause; the
generated scans are scored against the addresses placed on them instead. Exits 1 when
a difference has no known cause. Needs a build with the benchmarks
(the default); the committed test passwords are given to every run.
"""

import argparse
import concurrent.futures
import os
import pathlib
import re
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
ENGINES = ("poppler", "mupdf")
# The passwords of the committed protected files (scripts/make-*.sh).
PASSWORDS = ["secret", "identity-user", "identity-user128",
             "a-user-password-of-forty-five-characters-long", "sample"]
MANUALS = [pathlib.Path("/usr/share/doc/texlive-doc"), pathlib.Path("/usr/share/R/doc/manual")]

# Known causes of differences: (file name pattern, address pattern or None for the
# file's outcome, cause). Each was read in both engines' text.
CAUSES = [
    (r"(^|/)damaged\.pdf$", None,
     "the file is the first half of a PDF: poppler refuses a file without its cross-reference "
     "table, MuPDF rebuilds it and reads the pages that are whole"),
    (r"identity/rotated\.pdf$", r"^turned45@",
     "text drawn at 45 degrees: poppler cuts the diagonal line into fragments of a few letters, "
     "MuPDF keeps it one line"),
    (r"identity/scripts\.pdf$", r"^(hebrew|arabic)@",
     "poppler puts a bidirectional control character (U+202C) right before the address of a "
     "right-to-left line, which makes the word no address; MuPDF writes no such characters"),
    (r"R-FAQ\.pdf$", r"^R-windows@Rproject\.org$",
     "R-windows@R-project.org is broken after its hyphen at the end of a line: poppler joins the "
     "lines and drops the hyphen, a wrong domain; MuPDF keeps the lines apart and finds nothing"),
    (r"varioref\.pdf$", r"^(dr_)?kremlin@hotmail\.com$",
     "the underscore of dr_kremlin@hotmail.com is drawn as a rule: poppler's text has a space "
     "there and gives the tail, MuPDF's worker reads the rule in the gap as the underscore"),
]
# Recognised text differs as the pictures do: each library renders the scan for tesseract
# with its own resampling, and tesseract reads some letters otherwise. Such sets are
# judged against the addresses placed on the pages instead.
RECOGNITION = "recognition of pictures each library renders its own way (see the figures against the truth)"


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, **kwargs)


def addresses(extract, engine, pdf, passwords, ocr):
    """The set of addresses of one file, and the outcome line on standard error."""
    command = [extract, "--format", "lines", "--engine", engine, "-j", "1", "--password-file", passwords]
    if ocr:
        command.append("--ocr")
    # A temporary folder of its own: commands of one user that run at once share the
    # converter placed in it.
    with tempfile.TemporaryDirectory() as temp:
        result = run(command + ["--", str(pdf)], env=dict(os.environ, TMPDIR=temp))
    found = set(result.stdout.decode("utf-8", "replace").split())
    problem = result.stderr.decode("utf-8", "replace").strip().splitlines()
    return found, (problem[-1].split("  - ", 1)[-1] if result.returncode != 0 and problem else "")


def context(pdf, address):
    """The line holding the address (or its local part) in each tool's text."""
    local = address.split("@")[0]
    texts = {"pdftotext": run(["pdftotext", str(pdf), "-"]).stdout,
             "mutool": run(["mutool", "draw", "-q", "-F", "txt", "-o", "-", str(pdf)]).stdout}
    lines = []
    for tool, text in texts.items():
        hit = next((line for line in text.decode("utf-8", "replace").splitlines() if local in line), None)
        lines.append("      %-9s %s" % (tool + ":", repr(hit) if hit is not None else "(not in its text)"))
    return lines


def cause(pdf, address):
    for file_pattern, address_pattern, why in CAUSES:
        if re.search(file_pattern, str(pdf)) and (
                (address is None and address_pattern is None) or
                (address is not None and address_pattern and re.search(address_pattern, address))):
            return why
    return None


def score(results, truth):
    """Each engine's recall and precision against the addresses placed on the pages."""
    for engine in ENGINES:
        found = set().union(*(found for (pdf, each), (found, _) in results.items() if each == engine))
        right = len(found & truth)
        print("  %s: %d found, %d of them placed (precision %.3f), recall %.3f of %d"
              % (engine, len(found), right, right / max(1, len(found)), right / max(1, len(truth)), len(truth)))


def compare(title, pdfs, extract, passwords, ocr=False, truth=None):
    """Prints the comparison of one set; returns the number of unexplained differences.
    With `truth` (the addresses placed in the files), differences are scored instead."""
    pdfs = sorted(pdfs)
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
        results = {(pdf, engine): pool.submit(addresses, extract, engine, pdf, passwords, ocr)
                   for pdf in pdfs for engine in ENGINES}
        results = {key: future.result() for key, future in results.items()}
    differing = [pdf for pdf in pdfs if results[(pdf, "poppler")] != results[(pdf, "mupdf")]]
    total = sum(len(results[(pdf, "poppler")][0]) for pdf in pdfs)
    print("== %s%s: %d files, %d addresses by poppler; %d files the same, %d differ"
          % (title, " (--ocr)" if ocr else "", len(pdfs), total, len(pdfs) - len(differing), len(differing)))
    if truth is not None:
        score(results, truth)
    unexplained = 0
    for pdf in differing:
        (popplers, poppler_problem), (mupdfs, mupdf_problem) = results[(pdf, "poppler")], results[(pdf, "mupdf")]
        print("  %s" % os.path.relpath(pdf, ROOT) if str(pdf).startswith(str(ROOT)) else "  %s" % pdf)
        if poppler_problem != mupdf_problem:
            why = cause(pdf, None)
            unexplained += why is None
            print("    poppler: %s; mupdf: %s" % (poppler_problem or "read", mupdf_problem or "read"))
            print("      cause: %s" % (why or "UNEXPLAINED"))
        for engine, only in (("poppler", popplers - mupdfs), ("mupdf", mupdfs - popplers)):
            for address in sorted(only):
                why = cause(pdf, address) or (cause(pdf, None) if poppler_problem != mupdf_problem else None)
                if why is None and truth is not None:
                    why = RECOGNITION
                unexplained += why is None
                print("    only %s: %s" % (engine, address))
                if not ocr:
                    print("\n".join(context(pdf, address)))
                print("      cause: %s" % (why or "UNEXPLAINED"))
    print()
    return unexplained


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=str(ROOT / "build"))
    parser.add_argument("--skip-manuals", action="store_true")
    parser.add_argument("--skip-scans", action="store_true", help="leave out the generated scans (slow: OCR)")
    options = parser.parse_args()
    build = pathlib.Path(options.build)
    extract = str(build / "bin" / "pelmora-extract")
    bench = build / "bench" / "pelmora_bench_batch"
    for needed in (pathlib.Path(extract), bench):
        if not needed.exists():
            sys.exit("missing %s: build first (cmake --build %s)" % (needed, build))

    unexplained = 0
    with tempfile.TemporaryDirectory() as temp:
        temp = pathlib.Path(temp)
        passwords = temp / "passwords"
        passwords.write_text("".join(p + "\n" for p in PASSWORDS))
        data = ROOT / "tests" / "data"
        scans = {data / "scanned.pdf", data / "scanned-letter.pdf", ROOT / "assets/Samples/scanned-letter.pdf"}
        scans |= set((data / "ocr").glob("*.pdf"))
        committed = set(data.glob("*.pdf")) | set((data / "identity").glob("*.pdf")) | \
            set((ROOT / "assets/Samples").glob("*.pdf"))
        unexplained += compare("committed test PDFs and samples", committed - scans, extract, passwords)
        unexplained += compare("committed scans", scans, extract, passwords, ocr=True)

        run([str(bench), "--write-corpora", str(temp / "corpora")], check=True)
        for corpus in sorted((temp / "corpora").iterdir()):
            unexplained += compare("generated corpus %s" % corpus.name, corpus.glob("*.pdf"), extract, passwords)
        if not options.skip_scans:
            run([str(ROOT / "scripts/make-ocr-corpus.sh"), str(temp / "scans")], check=True)
            truth = {line.split("\t")[2] for line in (temp / "scans/truth.tsv").read_text().splitlines()[1:]}
            unexplained += compare("generated scans (make-ocr-corpus.sh)", (temp / "scans").glob("*.pdf"),
                                   extract, passwords, ocr=True, truth=truth)

        manuals = [pdf for folder in MANUALS if folder.is_dir() for pdf in folder.rglob("*.pdf")]
        if options.skip_manuals:
            pass
        elif manuals:
            unexplained += compare("Debian's LaTeX and R manuals", manuals, extract, passwords)
        else:
            print("== manuals: none installed (apt-get install texlive-latex-base-doc r-doc-pdf)\n")
    print("differences without a known cause: %d" % unexplained)
    return 1 if unexplained else 0


if __name__ == "__main__":
    sys.exit(main())
