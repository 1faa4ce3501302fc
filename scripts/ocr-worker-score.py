#!/usr/bin/env python3
"""Recall and precision of the converter worker's recognition, variant by variant.

    ocr-worker-score.py CORPUS PAGES.jsonl [--agreement SHARE] [--misses]

PAGES.jsonl is what `pelmora_ocr_pages CORPUS/*.pdf` wrote (bench/ocr_pages.cpp): each
page as the worker recognises it, with every piece of a line that holds an at-sign and
what each variant read there. CORPUS is a folder of scripts/make-ocr-corpus.sh or
scripts/make-ocr-cards.sh (truth.tsv, plan.tsv).

One row per variant (the addresses of its readings alone), then the vote:
  sure only            the addresses in the page's text, as the worker hands it on
  sure + confirmable   and the unsure ones that also stand in the sure text of another
                       page of the run (the run may take those as confirmed)
  sure + unsure        and every unsure one (the upper bound of any confirmation)
Figures for all pages and by resolution; found addresses are unique per page without
regard to letter case, as in a run. --agreement re-decides the vote offline with
another share (the worker's own is VoteRules::agreement).
"""

import argparse
import collections
import csv
import json
import os
import re
import sys

BLANKED = ",!\"#$%&'()*/:;<=>?[\\]^`{|}~"
SEPARATORS = re.compile(r"[ \t\r\n\f]+")
PATTERN = re.compile(r"^[a-zA-Z0-9_\-][a-zA-Z0-9_\-\.]*@(([a-zA-Z0-9\-]+)\.)+[a-zA-Z]{2,}\Z")


def addresses(text):
    """The valid addresses of a text in order, as the program finds them (no IP literals)."""
    text = text.translate({ord(c): " " for c in BLANKED})
    found = []
    for word in SEPARATORS.split(text):
        if "@" in word and "." in word:
            word = word.rstrip(".")
            if PATTERN.match(word):
                found.append(word)
    return found


def closed(text):
    return re.sub(r" ?@ ?", "@", text)


def read_tsv(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("corpus")
    ap.add_argument("pages")
    ap.add_argument("--agreement", type=float, help="decide sure addresses with this share instead")
    ap.add_argument("--misses", action="store_true", help="list wrong sure addresses and missed ones")
    args = ap.parse_args()

    truth = collections.defaultdict(set)
    for row in read_tsv(os.path.join(args.corpus, "truth.tsv")):
        truth[(row["file"], int(row["page"]))].add(row["address"])
    dpi = {(p["file"], int(p["page"])): p["dpi"] for p in read_tsv(os.path.join(args.corpus, "plan.tsv"))}
    pages = [json.loads(line) for line in open(args.pages)]

    rows = collections.OrderedDict()  # name -> {page key: [addresses]}
    sure, unsure, cpu = {}, {}, 0.0
    for page in pages:
        key = (page["file"], page["page"])
        cpu += page.get("cpu", 0.0)
        for piece in page.get("pieces", []):
            for variant, reading in piece["readings"].items():
                rows.setdefault(variant, collections.defaultdict(list))[key] += addresses(closed(reading))
        if args.agreement is None:
            sure[key] = addresses(page.get("text", ""))
            unsure[key] = page.get("unsure", [])
        else:
            voted = [a for piece in page.get("pieces", []) for a in piece["addresses"]]
            sure[key] = [a["address"] for a in voted if a["agreement"] >= args.agreement]
            unsure[key] = [a["address"] for a in voted if a["agreement"] < args.agreement]
    keys = [(p["file"], p["page"]) for p in pages]
    seen = collections.defaultdict(set)  # lower-case address -> pages where it is sure
    for key in keys:
        for a in sure[key]:
            seen[a.lower()].add(key)
    rows["vote: sure only"] = sure
    rows["vote: sure + confirmable"] = {
        k: sure[k] + [a for a in unsure[k] if seen[a.lower()] - {k}] for k in keys}
    rows["vote: sure + unsure"] = {k: sure[k] + unsure[k] for k in keys}

    groups = [("all", keys)] + [("%s dpi" % d, [k for k in keys if dpi.get(k) == d])
                                 for d in sorted({dpi.get(k) for k in keys}, reverse=True)]
    print("%d pages, %d addresses placed; recognition %.2f s of processor time a page" % (
        len(keys), sum(len(truth[k]) for k in keys), cpu / max(1, len(keys))))
    print("%-26s" % "reading" + "".join("  %-27s" % (g + ": found recall prec") for g, _ in groups))
    for name, found in rows.items():
        line = "%-26s" % name
        for _, ks in groups:
            placed = hits = total = 0
            for k in ks:
                unique = {a.lower(): a for a in found.get(k, [])}.values()
                placed += len(truth[k])
                total += len(unique)
                hits += sum(1 for a in unique if a in truth[k])
            line += "  %5d  %.3f  %.3f          " % (total, hits / placed if placed else 0,
                                                     hits / total if total else 1)
        print(line.rstrip())
    if args.misses:
        for k in keys:
            for a in sure[k]:
                if a not in truth[k]:
                    print("WRONG  %s p%d  %s" % (k[0], k[1], a))
            for a in sorted(truth[k] - set(sure[k])):
                print("miss   %s p%d  %s%s" % (k[0], k[1], a, "  (unsure)" if a in unsure[k] else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
