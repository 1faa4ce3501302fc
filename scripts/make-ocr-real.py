#!/usr/bin/env python3
"""The realistic scanned-page corpus: pages of real manuals, printed and scanned.

    scripts/make-ocr-real.py OUTDIR [--dpi 300 200] [--cache DIR] [--pages N]   (default 40 manuals of each package)
    scripts/make-ocr-real.py --strips OUT.pdf [--cache DIR]   tests/data/ocr/real-lines.pdf

One page of each of the labelled set's texlive-pictures-doc and texlive-fonts-extra-doc
manuals (scripts/labelled_set.py fetch) that show an address, the one that shows most, is
rendered as a grey scan at each resolution: turned by under a degree, slightly blurred, with a scanner's noise,
stored as grey or JPEG. The truth of a page is what bench/labelled/labels.tsv judged a
reader sees on it (disguised, link-only and placeholder addresses left out), so no one
here wrote the pages or chose their addresses.

Writes OUTDIR/<package>-<dpi>-NN.pdf (eight pages each), plan.tsv (file, page, dpi,
package, source, source page, angle, kind) and truth.tsv (file, page, address), the
columns scripts/ocr-worker-score.py and scripts/ocr-score-run.py read. The same cache
gives the same files. Needs poppler-utils, imagemagick and the fetched set.

--strips writes the test file: a band of five real pages each, scanned alike at
300 dpi and stored as JPEG, one page each: a typewriter address whose dots get spaces,
an at-sign that reads as "Q", an address behind a footnote's dagger, a typewriter
address whose dot most readings follow with a space, and a typewriter's mail route
(url.pdf's "myself%node@gateway.net") whose "%" most readings take for "/" or "{".
"""

import argparse
import collections
import concurrent.futures
import hashlib
import os
import pathlib
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
LABELLED = ROOT / "bench" / "labelled"
PACKAGES = ("texlive-pictures-doc", "texlive-fonts-extra-doc")
UNSEEN = {"link-only", "disguised", "placeholder", "made-up-ending"}
TEXTS = {"poppler", "poppler-raw", "poppler-layout", "mupdf"}  # what shows on the page
PER_FILE = 8


def rows(path):
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip() and not line.startswith("#")]


def pages_with_addresses():
    """(package, source path, page) -> the addresses a reader sees there plainly, judged as
    scripts/labelled-bench.py judges them (a wrong candidate may stand for a right address)."""
    package = {r[1]: r[0] for r in rows(LABELLED / "documents.tsv")}
    labels = {(r[0].lower(), r[5] if len(r) > 5 else ""): r for r in rows(LABELLED / "labels.tsv")}
    pages = collections.defaultdict(set)
    for candidate, source, page, sources in rows(LABELLED / "sightings.tsv"):
        label = labels.get((candidate, source)) or labels.get((candidate, ""))
        seen_by = {s.split(":")[0] for s in sources.split(",")}
        if not label or set(label[3].split(",")) & UNSEEN or not seen_by & TEXTS:
            continue
        if package.get(source) in PACKAGES:
            pages[(package[source], source, int(page))].update(label[2].lower().split())
    return {key: seen for key, seen in pages.items() if seen}


def draw(seed):
    """A page's degradation from its name: the same page is always scanned alike."""
    h = hashlib.sha256(seed.encode()).digest()
    angle = (h[0] / 255 * 1.8 - 0.9)  # under a degree either way
    blur = 0.4 + h[1] / 255 * 0.5
    kind = "jpeg" if h[2] % 2 else "gray"
    return round(angle, 2), round(blur, 2), kind


def scan(pdf, page, dpi, seed, out_base, band=None, kind=None):
    """The page (or the band of it between two heights in points) as a grey scan, stored
    as its name draws it unless `kind` ("jpeg" or "gray") says otherwise."""
    angle, blur, drawn = draw(seed)
    kind = kind or drawn
    raw = out_base.with_name(out_base.name + "-raw")
    crop = ["-y", str(band[0] * dpi // 72), "-H", str((band[1] - band[0]) * dpi // 72), "-W", "100000"] if band else []
    subprocess.run(["pdftoppm", "-q", "-gray", "-r", str(dpi), "-f", str(page), "-l", str(page), *crop,
                    "-singlefile", str(pdf), str(raw)], check=True)
    ops = ["-background", "white", "-rotate", str(angle), "-blur", f"0x{blur}",
           "-seed", str(int.from_bytes(hashlib.sha256(seed.encode()).digest()[:3], "big")),
           "-attenuate", "0.25", "+noise", "Gaussian", "-colorspace", "Gray", "-depth", "8", "-strip"]
    image = out_base.with_suffix(".jpg" if kind == "jpeg" else ".pgm")
    target = f"jpg:{image}" if kind == "jpeg" else f"pgm:{image}"
    quality = ["-quality", "75"] if kind == "jpeg" else []
    subprocess.run(["convert", f"{raw}.pgm", *ops, *quality, target], check=True)
    return image, angle, kind


# (package, manual, page, top and bottom of the band in points): see --strips.
STRIPS = [
    ("texlive-fonts-extra-doc", "/usr/share/doc/texlive-doc/fonts/libertinus-type1/libertinus-type1.pdf", 1, 140, 182),
    ("texlive-pictures-doc", "/usr/share/doc/texlive-doc/generic/xypic/xyguide.pdf", 1, 132, 168),
    ("texlive-fonts-extra-doc", "/usr/share/doc/texlive-doc/fonts/hep-math-font/hep-math-font-documentation.pdf",
     1, 686, 720),
    ("texlive-fonts-extra-doc", "/usr/share/doc/texlive-doc/fonts/cmathbb/cmathbb.pdf", 1, 712, 730),
    ("texlive-latex-base-doc", "/usr/share/doc/texlive-doc/latex/url/url.pdf", 2, 627, 657),
]


def strips(out, cache):
    dpi = 300
    with tempfile.TemporaryDirectory() as tmp:
        images = []
        for n, (package, source, page, top, bottom) in enumerate(STRIPS):
            pdf = cache / "root" / package / source.lstrip("/")
            # JPEG keeps the test file small.
            image, _, _ = scan(pdf, page, dpi, f"{source}:{page}:strip", pathlib.Path(tmp) / f"{n}", (top, bottom),
                               "jpeg")
            images.append(str(image))
        subprocess.run([sys.executable, str(ROOT / "scripts" / "pdfgen.py"), "imagepdf", str(out), str(dpi),
                        *images], check=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("outdir", type=pathlib.Path, metavar="OUTDIR or OUT.pdf")
    ap.add_argument("--strips", action="store_true", help="write the test file of five bands")
    ap.add_argument("--dpi", type=int, nargs="+", default=[300, 200])
    ap.add_argument("--cache", type=pathlib.Path, default=pathlib.Path(os.environ.get(
        "XDG_CACHE_HOME", pathlib.Path.home() / ".cache")) / "pelmora-labelled")
    ap.add_argument("--pages", type=int, default=40, help="at most N manuals of each package (0: all)")
    args = ap.parse_args()
    if args.strips:
        return strips(args.outdir, args.cache)

    # One page a manual, the one showing most addresses, in an order no one chose.
    best = {}
    for (package, source, page), seen in sorted(pages_with_addresses().items()):
        if len(seen) > len(best.get(source, (None, ()))[1]):
            best[source] = ((package, source, page), seen)
    chosen = collections.defaultdict(list)
    for source in sorted(best, key=lambda s: hashlib.sha256(s.encode()).hexdigest()):
        chosen[best[source][0][0]].append(best[source])
    out = args.outdir
    out.mkdir(parents=True, exist_ok=True)
    for old in out.glob("*.pdf"):
        old.unlink()
    plan = [["file", "page", "dpi", "package", "source", "source page", "angle", "kind"]]
    truth = [["file", "page", "address"]]
    jobs = []  # (file, page in it, dpi, package, source, source page, seen)
    for package in PACKAGES:
        picked = chosen[package][: args.pages or None]
        for dpi in args.dpi:
            for n, ((_, source, page), seen) in enumerate(picked):
                name = f"{package.removeprefix('texlive-').removesuffix('-doc')}-{dpi}-{n // PER_FILE + 1:02d}.pdf"
                jobs.append((name, n % PER_FILE + 1, dpi, package, source, page, seen))
    with tempfile.TemporaryDirectory() as tmp, concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
        work = pathlib.Path(tmp)

        def one(i):
            name, n, dpi, package, source, page, _ = jobs[i]
            pdf = args.cache / "root" / package / source.lstrip("/")
            if not pdf.exists():
                sys.exit(f"{pdf} is missing: run scripts/labelled_set.py fetch first")
            return scan(pdf, page, dpi, f"{source}:{page}:{dpi}", work / f"{i:04d}")

        scans = list(pool.map(one, range(len(jobs))))
        files = collections.defaultdict(list)
        for (name, n, dpi, package, source, page, seen), (image, angle, kind) in zip(jobs, scans):
            files[(name, dpi)].append(str(image))
            plan.append([name, str(n), str(dpi), package, source, str(page), str(angle), kind])
            truth += [[name, str(n), a] for a in sorted(seen)]
        list(pool.map(lambda item: subprocess.run(
            [sys.executable, str(ROOT / "scripts" / "pdfgen.py"), "imagepdf", str(out / item[0][0]),
             str(item[0][1]), *item[1]], check=True), files.items()))
    for name, table in (("plan.tsv", plan), ("truth.tsv", truth)):
        (out / name).write_text("".join("\t".join(r) + "\n" for r in table), encoding="utf-8")
    print(f"{len(plan) - 1} pages, {len(truth) - 1} addresses: {out}")


if __name__ == "__main__":
    main()
