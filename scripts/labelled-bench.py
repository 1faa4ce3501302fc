#!/usr/bin/env python3
"""Precision and recall of pelmora-extract and its rivals on the labelled set of real documents.

    scripts/labelled-bench.py [--binary build/bin/pelmora-extract] [--cache DIR]
                              [--only NAME]... [--misses FILE] [--save DIR]

Runs over every document of bench/labelled/documents.tsv (scripts/labelled_set.py fetch
puts them in DIR) each configuration of ours that the binary has (default, each engine,
--disguised, --links or --no-links) and the rivals (pdftotext or mutool piped into
`grep -oE`, pdfgrep -o, all with the same pattern), each file alone, and prints one table.

Scoring is per unique address per file, in any letter case: a configuration's result is
the set of (file, address) pairs it reports. A pair is right when the address was judged an
address a reader of that file sees (bench/labelled/labels.tsv, sightings.tsv), wrong when
it was judged not one or is not in that file, and unjudged when no one has judged it yet
(listed after the table: judge them before trusting the figures). Addresses with a made-up
ending (user@host.domain) are neither: not counted as found and not missed. Precision is
right / (right + wrong); "plain" recall is the share of the addresses shown plainly in the
text (on one line, broken across lines, grouped) that are found; disguised and link-only
addresses (only in a mailto: link) are counted apart.
"""

import argparse
import collections
import json
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import labelled_set  # noqa: E402

KINDS = ("plain", "disguised", "link-only")
RANK = {"plain": 0, "link-only": 1, "disguised": 2, "none": 3}
GATHERED = set(labelled_set.TEXTS) | {"mailto"}
ORDER = ["ours default", "ours --engine poppler", "ours --engine mupdf", "ours --disguised", "ours --links", "ours --no-links"] + \
    list(labelled_set.RIVALS)


def load_truth():
    """{(file, address): kind} of the addresses, {address: reason} of judged non-addresses,
    and the (file, address) pairs and addresses that are neither right nor wrong."""
    labels = {}
    for line in labelled_set.LABELS.read_text().splitlines():
        if line.startswith("# ") or not line.strip():
            continue
        candidate, verdict, addresses, tags, reason, *rest = line.split("\t") + [""]
        labels[(candidate.lower(), rest[0] if rest and rest[0] else None)] = (
            verdict, addresses.lower().split(), set(tags.split(",")) - {""}, reason)
    truth, neutral, judged = {}, set(), set()
    for line in labelled_set.SIGHTINGS.read_text().splitlines():
        if line.startswith("# "):
            continue
        candidate, path, _page, sources = line.split("\t")
        label = labels.get((candidate, path)) or labels.get((candidate, None))
        if not label:
            continue
        _verdict, addresses, tags, _reason = label  # a wrong reading may stand for a right address
        seen_by = {source.split(":")[0] for source in sources.split(",")}
        if not seen_by & GATHERED:
            continue  # only a tool reported it there: judged, but no evidence of what the page shows
        kind = ("disguised" if "disguised" in tags else
                "link-only" if "mailto" in seen_by and not seen_by & set(labelled_set.TEXTS) else "plain")
        for address in addresses:
            if "made-up-ending" in tags:
                neutral.add((path, address))
            elif RANK[kind] < RANK[truth.get((path, address), "none")]:
                truth[(path, address)] = kind  # seen plainly anywhere in the file: plain
    for (candidate, _path), (_verdict, addresses, _tags, _reason) in labels.items():
        judged.update([candidate] + addresses)
    return truth, neutral, judged


def score(results, truth, neutral, judged):
    found = {(path, address.lower()) for path, address in results}
    right = {pair for pair in found if pair in truth}
    neither = {pair for pair in found if pair in neutral and pair not in truth}
    unjudged = {pair for pair in found - right - neither if pair[1] not in judged}
    wrong = found - right - neither - unjudged
    row = {"found": len(found - neither), "right": len(right), "wrong": wrong, "unjudged": unjudged}
    row["precision"] = len(right) / max(1, len(right) + len(wrong))
    for kind in KINDS:
        total = {pair for pair, k in truth.items() if k == kind}
        row[kind] = (len(total & right), len(total))
    row["missed"] = {pair: k for pair, k in truth.items() if pair not in right}
    return row


def table(rows):
    lines = ["| configuration | found | right | wrong | unjudged | precision | recall plain | "
             "recall disguised | recall link-only |", "|---|---|---|---|---|---|---|---|---|"]
    for name, row in rows.items():
        cells = [name, row["found"], row["right"], len(row["wrong"]), len(row["unjudged"]),
                 f"{row['precision']:.3f}"]
        for kind in KINDS:
            hit, total = row[kind]
            cells.append(f"{hit / total:.3f} ({hit}/{total})" if total else "-")
        lines.append("| " + " | ".join(str(c) for c in cells) + " |")
    return "\n".join(lines)


def misses_report(name, row, labels_by_address, kinds=("plain",)):
    """The misses (of the given kinds) and wrong results of one configuration, grouped by
    the judge's tags."""
    groups = collections.defaultdict(list)
    for (path, address), kind in sorted(row["missed"].items()):
        if kind not in kinds:
            continue
        tags = labels_by_address.get(address, ("", ""))
        group = tags[0] if kind == "plain" else kind
        groups["missed: " + (group or "plain")].append(f"{address}\t{path}\t{tags[1]}")
    for path, address in sorted(row["wrong"]):
        tags = labels_by_address.get(address, ("", ""))
        groups["wrong: " + (tags[0] or "address of another file")].append(f"{address}\t{path}\t{tags[1]}")
    for path, address in sorted(row["unjudged"]):
        groups["unjudged"].append(f"{address}\t{path}")
    out = [f"# {name}: misses ({', '.join(kinds)}) and wrong results, by kind"]
    for group in sorted(groups):
        out.append(f"\n## {group} ({len(groups[group])})")
        out.extend(groups[group])
    return "\n".join(out) + "\n"


def labels_by_address():
    """{candidate or address: (tags, reason)} for the report."""
    found = {}
    for line in labelled_set.LABELS.read_text().splitlines():
        if line.startswith("# ") or not line.strip():
            continue
        candidate, verdict, addresses, tags, reason = (line.split("\t") + [""] * 5)[:5]
        for key in [candidate.lower()] + addresses.lower().split():
            found.setdefault(key, (tags if verdict == "address" else f"{verdict} {tags}".strip(), reason))
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", type=pathlib.Path, default=labelled_set.ROOT / "build" / "bin" / "pelmora-extract")
    parser.add_argument("--cache", type=pathlib.Path, default=labelled_set.DEFAULT_CACHE)
    parser.add_argument("--only", action="append", help="run only this configuration (repeatable)")
    parser.add_argument("--misses", type=pathlib.Path,
                        help="write the misses and wrong results of the default run, the mupdf run and the "
                             "disguised one (its disguised misses) here")
    parser.add_argument("--save", type=pathlib.Path,
                        help="keep each configuration's results here (JSON) and take those kept before")
    parser.add_argument("--load", type=pathlib.Path, action="append",
                        help="score the results kept by --save instead of running (repeatable: parts of one run)")
    parser.add_argument("--package", action="append", help="only the documents of this package (repeatable)")
    parser.add_argument("--every", type=int, default=1, help="only every Nth of the documents chosen (1, 1+N, ...)")
    parser.add_argument("--all", action="store_true",
                        help="every listed document, not only those where gathering saw an at-sign")
    parser.add_argument("--max-mb", type=float, default=5.0,
                        help="leave out documents larger than this (default 5: the dozen largest manuals, "
                             "thousands of pages that take most of the time); 0 for no limit")
    args = parser.parse_args()
    if not args.load and not args.binary.exists():
        parser.error(f"{args.binary} does not exist; build it or give --binary")
    docs = labelled_set.documents()
    if not args.all:
        seen = {line.split("\t")[1] for line in labelled_set.SIGHTINGS.read_text().splitlines()
                if not line.startswith("# ")}
        docs = [doc for doc in docs if doc[1] in seen]
    if args.package:
        docs = [doc for doc in docs if doc[0] in args.package]
    if args.max_mb:
        docs = [doc for doc in docs if doc[3] <= args.max_mb * 1e6]
    if args.every > 1:
        docs = docs[::args.every]
    truth, neutral, judged = load_truth()
    if args.load:
        results = collections.defaultdict(set)
        ran = set()
        for folder in args.load:
            ran |= set(json.loads((folder / labelled_set.RUN_DOCUMENTS).read_text()))
            for saved in sorted(folder.glob("*.json")):
                results[saved.stem.replace("_", " ")] |= {tuple(pair) for pair in json.loads(saved.read_text())}
        docs = [doc for doc in docs if doc[1] in ran]
    else:
        missing = [path for package, path, *_ in docs
                   if not labelled_set.local_path(args.cache, package, path).exists()]
        if missing:
            sys.exit(f"{len(missing)} documents are not in {args.cache}: run scripts/labelled_set.py fetch first")
        results = labelled_set.run_all(args.cache, args.binary, docs, only=set(args.only) if args.only else None,
                                       save=args.save)
    paths = {path for _, path, *_ in docs}
    truth = {pair: kind for pair, kind in truth.items() if pair[0] in paths}
    rows = {name: score({pair for pair in found if pair[0] in paths}, truth, neutral, judged)
            for name, found in sorted(results.items(), key=lambda item: (ORDER + [item[0]]).index(item[0]))}
    print(f"{len(docs)} documents; {sum(1 for k in truth.values() if k == 'plain')} plainly shown, "
          f"{sum(1 for k in truth.values() if k == 'disguised')} disguised and "
          f"{sum(1 for k in truth.values() if k == 'link-only')} link-only (file, address) pairs\n")
    print(table(rows))
    for name, row in rows.items():
        for path, address in sorted(row["unjudged"]):
            print(f"unjudged ({name}): {address}\t{path}", file=sys.stderr)
    if args.misses:
        tags = labels_by_address()
        wanted = {"ours default": ("plain",), "ours --engine poppler": ("plain",), "ours --engine mupdf": ("plain",),
                  "ours --disguised": ("disguised",)}
        args.misses.write_text("\n".join(misses_report(name, rows[name], tags, kinds)
                                         for name, kinds in wanted.items() if name in rows))
    return 0


if __name__ == "__main__":
    sys.exit(main())
