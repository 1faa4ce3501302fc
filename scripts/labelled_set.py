#!/usr/bin/env python3
"""The labelled set of real documents: fetching it and gathering candidates to judge.

    scripts/labelled_set.py fetch  [--cache DIR]     download, unpack, check against the list
    scripts/labelled_set.py list   [--cache DIR]     rewrite bench/labelled/documents.tsv
    scripts/labelled_set.py gather [--package NAME]... [--document PATH]... [--every N]
                                   [--runs DIR]... [--cache DIR]

`fetch` downloads the pinned Debian packages with `apt-get download` and unpacks them with
`dpkg -x` into DIR (default ~/.cache/pelmora-labelled), then checks every PDF named in
bench/labelled/documents.tsv against its sha256. `gather` converts every listed PDF with
poppler (reading order, -raw, -layout) and MuPDF, collects everything that could be an
address (a permissive pattern, line ends joined with and without their hyphen, disguises,
mailto: links, and with --runs what each configuration of scripts/labelled-bench.py --save
reported) with the lines around it, and writes DIR/gather/candidates.jsonl, one line per unique candidate,
for judging by hand into bench/labelled/labels.tsv. Python 3 standard library and
Debian's poppler-utils and mupdf-tools only.
"""

import argparse
import concurrent.futures
import hashlib
import json
import os
import pathlib
import re
import shlex
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
LABELLED = ROOT / "bench" / "labelled"
DOCUMENTS = LABELLED / "documents.tsv"
LABELS = LABELLED / "labels.tsv"
SIGHTINGS = LABELLED / "sightings.tsv"
DEFAULT_CACHE = pathlib.Path(os.environ.get("XDG_CACHE_HOME", pathlib.Path.home() / ".cache")) / "pelmora-labelled"
# Debian 12's documentation packages, pinned so that the set can be rebuilt.
PACKAGES = {
    "texlive-latex-base-doc": "2022.20230122-3",
    "r-doc-pdf": "4.2.2.20221110-2",
    "texlive-pictures-doc": "2022.20230122-3",
    "texlive-fonts-extra-doc": "2022.20230122-4",
    "texlive-latex-extra-doc": "2022.20230122-4",
}
WORKERS = 2  # the machine's cores are shared

# What the rivals grep for, and what a reader might still call an address.
GREP_PATTERN = r"[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,}"
GREP = re.compile(GREP_PATTERN)
ENDING = re.compile(r"\.[^\W\d_]{2,}$")  # a top-level domain is letters
PERMISSIVE = re.compile(r"[\w.%+'!#$&*/=?^`{|}~-]+@[\w-]+(?:\.[\w-]+)+", re.UNICODE)
# Written in disguise: an "at" in brackets, dashes or underscores (or a plain " at " or
# " AT " before a domain), or an at-sign followed by a disguised dot.
AT_WORD = r"(?:\s*[\[({<]\s*(?:at|AT|At)\s*[\])}>]\s*|\s*-at-\s*|_at_|\s*&#64;\s*)"
DOT_WORD = r"(?:\s*[\[({<]\s*(?:dot|DOT|Dot|\.)\s*[\])}>]\s*|\s*-dot-\s*|_dot_|\s+(?:dot|DOT)\s+)"
DISGUISE = re.compile(
    rf"[A-Za-z0-9._%+-]+(?:{DOT_WORD}[A-Za-z0-9._%+-]+)*(?:(?:{AT_WORD}|\s+(?:at|AT)\s+)[A-Za-z0-9-]+"
    rf"(?:(?:{DOT_WORD}|\.)[A-Za-z0-9-]+)+|@[A-Za-z0-9-]+(?:(?:{DOT_WORD}|\.)[A-Za-z0-9-]+)*{DOT_WORD}[A-Za-z0-9-]+)")
BROKEN_AT = re.compile(r"@\s*\n|\n\s*@")
DISGUISE_MARK = re.compile(rf"{AT_WORD}|{DOT_WORD}|\s(?:at|AT)\s+[A-Za-z0-9-]+\.[A-Za-z]{{2,}}\b")
DISGUISE_ENDING = re.compile(r"[^\W\d_]{2,}$")  # the domain's last label is letters
TRIM = ".,;:!?'\"()[]{}<>`*"


def documents():
    """The listed documents: (package, path within the package, sha256, bytes)."""
    rows = []
    for line in DOCUMENTS.read_text().splitlines():
        if line.startswith("# ") or not line.strip():
            continue
        package, path, size, digest = line.split("\t")
        rows.append((package, path, digest, int(size)))
    return rows


def local_path(cache, package, path):
    return cache / "root" / package / path.lstrip("/")


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def fetch(cache):
    debs = cache / "debs"
    debs.mkdir(parents=True, exist_ok=True)
    for package, version in PACKAGES.items():
        deb = debs / f"{package}_{version.replace(':', '%3a')}_all.deb"
        root = cache / "root" / package
        if not deb.exists() and not root.exists():
            subprocess.run(["apt-get", "download", f"{package}={version}"], cwd=debs, check=True)
        if not root.exists():
            root.mkdir(parents=True)
            subprocess.run(["dpkg", "-x", str(deb), str(root)], check=True)
    if DOCUMENTS.exists():
        bad = [path for package, path, digest, _ in documents()
               if not local_path(cache, package, path).exists() or sha256(local_path(cache, package, path)) != digest]
        for path in bad:
            print(f"differs from the list: {path}", file=sys.stderr)
        print(f"{len(documents()) - len(bad)} of {len(documents())} documents as listed")
        return 1 if bad else 0
    return 0


def write_list(cache):
    lines = ["# package\tpath within the package\tbytes\tsha256 (scripts/labelled_set.py list)"]
    for package, version in PACKAGES.items():
        root = cache / "root" / package
        for pdf in sorted(root.rglob("*.pdf")):
            if pdf.is_symlink() or not pdf.is_file():
                continue
            lines.append(f"{package}\t/{pdf.relative_to(root)}\t{pdf.stat().st_size}\t{sha256(pdf)}")
    LABELLED.mkdir(parents=True, exist_ok=True)
    DOCUMENTS.write_text("\n".join(lines) + "\n")
    print(f"{len(lines) - 1} documents listed in {DOCUMENTS.relative_to(ROOT)}")


# The rivals, each over one file; {pdf} is the file, the pattern is GREP_PATTERN.
RIVALS = {
    "pdftotext | grep -oE": "pdftotext {pdf} - | grep -oE '{pattern}'",
    "pdfgrep -o": "pdfgrep -o -h '{pattern}' {pdf}",
    "mutool draw -F txt | grep -oE": "mutool draw -q -F txt {pdf} | grep -oE '{pattern}'",
}
def options_of(binary):
    return set(re.findall(r"--[a-z][a-z-]+", run([str(binary), "--help"])))


def configurations(binary):
    """Our command's configurations that this binary has, then the rivals."""
    have = options_of(binary)
    # Each engine by name as well as the default, which changed from poppler to MuPDF.
    wanted = {"ours default": [], "ours --engine poppler": ["--engine", "poppler"],
              "ours --engine mupdf": ["--engine", "mupdf"], "ours --disguised": ["--disguised"],
              "ours --links": ["--links"], "ours --no-links": ["--no-links"]}
    ours = {name: args for name, args in wanted.items()
            if all(a in have for a in args if a.startswith("--"))}
    return ours, dict(RIVALS)


def run_ours(binary, args, pdf, attempts=3):
    """Our command over one file: {address: first page}. A run that fails (a converter
    that could not start on a loaded machine, say) is tried again, and reported when
    it never succeeds, rather than counted as a file without addresses."""
    command = ["nice", str(binary), "--no-cache", "-j", "1", "--format", "jsonl"] + args + [pdf]
    for _ in range(attempts):
        try:
            done = subprocess.run(command, capture_output=True, timeout=900)
        except subprocess.TimeoutExpired:
            continue
        if done.returncode == 0:
            found = {}
            for line in done.stdout.decode("utf-8", "replace").splitlines():
                row = json.loads(line)
                found.setdefault(row["address"], row.get("page"))
            return found
    print(f"failed {attempts} times, counted as finding nothing: {' '.join(command[1:])}", file=sys.stderr)
    return {}


def run_rival(command, pdf):
    return {address: None for address in
            run(["nice", "sh", "-c", command.format(pdf=shlex.quote(pdf), pattern=GREP_PATTERN)]).split()}


RUN_DOCUMENTS = "documents.list"  # beside the kept results: the documents they are of


def saved_name(config):
    return config.replace(" ", "_").replace("/", "") + ".json"


def run_all(cache, binary, docs, only=None, save=None):
    """Every configuration over every document: {configuration: {(path, address): page}}.
    With save, each configuration's results are kept there as it ends, and a configuration
    kept before is taken from there (a run that was stopped goes on where it stopped)."""
    ours, rivals = configurations(binary)
    package_of = {path: package for package, path, *_ in docs}
    if save:
        save.mkdir(parents=True, exist_ok=True)
        (save / RUN_DOCUMENTS).write_text(json.dumps(sorted(package_of)))
    results = {}
    for name, fn in [(n, lambda pdf, a=a: run_ours(binary, a, pdf)) for n, a in ours.items()] + \
                    [(n, lambda pdf, c=c: run_rival(c, pdf)) for n, c in rivals.items()]:
        if only and name not in only:
            continue
        kept = save / saved_name(name) if save else None
        if kept and kept.exists():
            results[name] = {(path, address): None for path, address in json.loads(kept.read_text())}
            continue
        print(f"running {name} over {len(docs)} documents", file=sys.stderr)
        found = {}
        with concurrent.futures.ThreadPoolExecutor(WORKERS) as pool:
            pdfs = [str(local_path(cache, package_of[path], path)) for _, path, *_ in docs]
            for (_, path, *_), addresses in zip(docs, pool.map(fn, pdfs)):
                for address, page in addresses.items():
                    found.setdefault((path, address), page)
        results[name] = found
        if kept:
            kept.write_text(json.dumps(sorted([path, address] for path, address in found)))
    return results


def run(command, timeout=300):
    try:
        return subprocess.run(command, capture_output=True, timeout=timeout).stdout.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return ""


TEXTS = {
    "poppler": ["pdftotext", "{pdf}", "-"],
    "poppler-raw": ["pdftotext", "-raw", "{pdf}", "-"],
    "poppler-layout": ["pdftotext", "-layout", "{pdf}", "-"],
    "mupdf": ["mutool", "draw", "-q", "-F", "txt", "{pdf}"],
}


KEPT_TEXTS = ("poppler", "mupdf")  # the others are read once, for gathering only


def texts(cache, package, path, names=tuple(TEXTS)):
    """Each converter's text of one document, as a list of pages; the two that give the
    candidates their context are kept in the cache."""
    folder = cache / "text" / package / path.lstrip("/")
    folder.mkdir(parents=True, exist_ok=True)
    pdf = str(local_path(cache, package, path))
    result = {}
    for name in names:
        command = TEXTS[name]
        out = folder / f"{name}.txt"
        if out.exists():
            text = out.read_text()
        else:
            text = run(["nice"] + [pdf if part == "{pdf}" else part for part in command])
            if name in KEPT_TEXTS:
                part = out.with_suffix(".part")
                part.write_text(text)
                part.rename(out)  # never a text cut short by a full disk
        result[name] = text.split("\f")
    return result


LINKS_SCRIPT = """var doc = new Document(scriptArgs[0]); var n = doc.countPages();
for (var i = 0; i < n; i++) { var l = doc.loadPage(i).getLinks();
  for (var j = 0; j < l.length; j++) { var u = l[j].uri;
    if (u && /^mailto:/i.test(u)) print((i + 1) + '\\t' + u); } }
"""


def mailto_links(cache, pdf):
    """Each page's mailto: links, as MuPDF's scripting reads them."""
    script = cache / "mailto-links.js"
    if not script.exists():
        script.write_text(LINKS_SCRIPT)
    kept = cache / "text" / pdf.relative_to(cache / "root") / "links.txt"
    if not kept.exists():
        part = kept.with_suffix(".part")
        part.write_text(run(["nice", "mutool", "run", str(script), str(pdf)]))
        part.rename(kept)
    for line in kept.read_text().splitlines():
        page, _, uri = line.partition("\t")
        if page.isdigit():
            yield int(page), uri


def tidy(candidate):
    return candidate.strip(TRIM)


def context(lines, index, span=1):
    return " ⏎ ".join(lines[max(0, index - span):index + span + 1]).strip()


def gather_text(pages, source, found):
    for page_no, page in enumerate(pages, 1):
        lines = page.split("\n")
        for i, line in enumerate(lines):
            for m in PERMISSIVE.finditer(line):
                if ENDING.search(tidy(m.group())):
                    found.append((page_no, tidy(m.group()), source, context(lines, i)))
            for m in GREP.finditer(line):  # what the rivals report, as they report it
                found.append((page_no, m.group(), source + ":grep", context(lines, i)))
            for m in DISGUISE.finditer(line):
                if DISGUISE_ENDING.search(m.group()):
                    found.append((page_no, m.group().strip(), source + ":disguise", context(lines, i)))
            if i + 1 < len(lines) and line.strip() and lines[i + 1].strip():
                gather_join(line.split()[-1], lines[i + 1].split()[0], page_no, source, context(lines, i), found)
                # A disguise broken at the line end: the two lines read as one.
                both = line.rstrip() + " " + lines[i + 1].lstrip()
                for m in DISGUISE.finditer(both):
                    if m.start() < len(line.rstrip()) < m.end() and DISGUISE_ENDING.search(m.group()):
                        found.append((page_no, m.group().strip(), source + ":disguise-joined", context(lines, i)))


def gather_join(tail, head, page_no, source, ctx, found):
    """An address broken at a line end: the line ends inside it (at "@", a dot or a hyphen)
    or the next line starts with "@" or a dot. Both readings of a final hyphen are kept."""
    if "@" not in tail + head or not (tail[-1] in "@.-" or head[0] in "@."):
        return
    if tail.endswith(".") and "@" in tail and head[0].isupper():
        return  # a sentence ends with the address
    joins = {"joined": tail + head}
    if tail.endswith("-"):
        joins = {"joined": tail[:-1] + head, "joined-hyphen": tail + head}
    for name, glued in joins.items():
        cut = len(tail) - 1 if name == "joined" and tail.endswith("-") else len(tail)
        for m in PERMISSIVE.finditer(glued):
            if m.start() < cut < m.end() and ENDING.search(tidy(m.group())):
                found.append((page_no, tidy(m.group()), f"{source}:{name}", ctx))


def may_hold_address(pages):
    """Something the patterns take for an address, an at-sign at a line's end or start, or
    an "at" or "dot" written as a disguise writes it."""
    return any(PERMISSIVE.search(page) or BROKEN_AT.search(page) or DISGUISE_MARK.search(page) for page in pages)


def gather_document(cache, package, path):
    """What gathering takes from one document, kept beside its texts so that a gathering
    that was stopped goes on where it stopped (delete found.jsonl after changing a pattern)."""
    kept_found = cache / "text" / package / path.lstrip("/") / "found.jsonl"
    if kept_found.exists():
        return [json.loads(line) for line in kept_found.read_text().splitlines()]
    rows = read_document(cache, package, path)
    part = kept_found.with_suffix(".part")
    part.write_text("".join(json.dumps(row, ensure_ascii=False) + "\n" for row in rows))
    part.rename(kept_found)
    return rows


def read_document(cache, package, path):
    found = []
    kept = texts(cache, package, path, KEPT_TEXTS)
    # The other readings only where the kept ones show a sign of an address: they cost
    # as much again, and a document without any gives nothing to either.
    others = tuple(name for name in TEXTS if name not in KEPT_TEXTS)
    if any(may_hold_address(pages) for pages in kept.values()):
        kept.update(texts(cache, package, path, others))
    for source, pages in kept.items():
        gather_text(pages, source, found)
    for page, uri in mailto_links(cache, local_path(cache, package, path)):
        found.append((page, tidy(uri[len("mailto:"):].split("?")[0]), "mailto", uri))
    return [{"file": path, "page": p, "candidate": c, "source": s, "context": x} for p, c, s, x in found]


def context_of(pages, address, page):
    """The lines around an address that a tool reported, looked for in the given page first."""
    local, _, domain = address.lower().partition("@")
    probes = [address.lower(), local + "@", "@" + domain, local, domain.split(".")[0]]
    order = ([page] if page and 0 < page <= len(pages) else []) + list(range(1, len(pages) + 1))
    for probe in probes:
        if len(probe) < 3:
            continue
        for number in order:
            lines = pages[number - 1].split("\n")
            for i, line in enumerate(lines):
                if probe in line.lower():
                    return number, context(lines, i)
    return page, ""


def gather(cache, runs, packages=None, every=1, paths=None):
    """With packages or paths, only those documents (with every, only every Nth of them):
    the sightings of the others are kept as listed."""
    docs = [doc for doc in documents() if (not packages or doc[0] in packages) and (not paths or doc[1] in paths)]
    docs = docs[::every]
    partial = bool(packages or paths or every > 1)
    out = cache / "gather"
    out.mkdir(parents=True, exist_ok=True)
    rows = []
    with concurrent.futures.ThreadPoolExecutor(WORKERS) as pool:
        for done, found in enumerate(pool.map(lambda d: gather_document(cache, d[0], d[1]), docs), 1):
            rows.extend(found)
            if done % 100 == 0:
                print(f"texts: {done} of {len(docs)}", file=sys.stderr)
    by_path = {path: package for package, path, *_ in docs}
    for saved in sorted(saved for folder in runs or [] for saved in folder.glob("*.json")):
        config = saved.stem.replace("_", " ")
        for path, address in json.loads(saved.read_text()):
            if path not in by_path:
                continue
            pages = texts(cache, by_path[path], path, KEPT_TEXTS)
            page, ctx = context_of(pages["poppler"], address, None)
            if not ctx:
                page, ctx = context_of(pages["mupdf"], address, None)
            rows.append({"file": path, "page": page, "candidate": address, "source": config, "context": ctx})
    merged = {}
    for row in rows:
        key = row["candidate"].lower()
        entry = merged.setdefault(key, {"candidate": row["candidate"], "sources": set(), "sightings": {}})
        entry["sources"].add(row["source"])
        page, ctx, seen_by = entry["sightings"].setdefault(row["file"], [row["page"], row["context"], set()])
        seen_by.add(row["source"])
    with open(out / "candidates.jsonl", "w") as f:
        for key in sorted(merged):
            entry = merged[key]
            f.write(json.dumps({"candidate": entry["candidate"], "sources": sorted(entry["sources"]),
                                "sightings": [[path, p, c] for path, (p, c, _) in sorted(entry["sightings"].items())]},
                               ensure_ascii=False) + "\n")
    header = "# candidate (lower case)\tfile\tpage\tsources (scripts/labelled_set.py gather)\n"
    kept = [line.split("\t") for line in SIGHTINGS.read_text().splitlines()[1:]
            if line.split("\t")[1] not in by_path] if partial and SIGHTINGS.exists() else []
    for key in merged:
        for path, (page, _, seen_by) in merged[key]["sightings"].items():
            kept.append([key, path, str(page), ",".join(sorted(seen_by))])
    with open(SIGHTINGS, "w") as f:
        f.write(header)
        f.writelines("\t".join(row) + "\n" for row in sorted(kept, key=lambda row: (row[0], row[1])))
    print(f"{len(merged)} unique candidates in {out / 'candidates.jsonl'}, their sightings in {SIGHTINGS}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("action", choices=["fetch", "list", "gather"])
    parser.add_argument("--cache", type=pathlib.Path, default=DEFAULT_CACHE)
    parser.add_argument("--package", action="append",
                        help="gather only this package's documents, keeping the others' sightings (repeatable)")
    parser.add_argument("--document", action="append",
                        help="gather only this document (its path within the package, repeatable)")
    parser.add_argument("--every", type=int, default=1,
                        help="gather only every Nth of the documents chosen (1, 1+N, ...)")
    parser.add_argument("--runs", type=pathlib.Path, action="append",
                        help="the results that scripts/labelled-bench.py --save kept, to gather too (repeatable)")
    args = parser.parse_args()
    if args.action == "fetch":
        return fetch(args.cache)
    if args.action == "list":
        write_list(args.cache)
        return 0
    gather(args.cache, args.runs, set(args.package or []), args.every, set(args.document or []))
    return 0


if __name__ == "__main__":
    sys.exit(main())
