#!/usr/bin/env python3
"""Recall and precision of the converter worker's recognition, variant by variant.

    ocr-worker-score.py CORPUS PAGES.jsonl [CORPUS PAGES.jsonl...] [--misses COMBINATION]

PAGES.jsonl is what `pelmora_ocr_pages CORPUS/*.pdf` wrote (bench/ocr_pages.cpp): each
page recognised as the worker recognises it, every piece of a line that holds an
at-sign read in every variant, and the vote of several combinations of the readings.
CORPUS is a folder of scripts/make-ocr-corpus.sh or scripts/make-ocr-cards.sh
(truth.tsv, plan.tsv); several pairs are scored together.

One row per variant (the addresses of its readings alone, spaces beside the at-sign
closed), then for each combination of readings voted over:
  sure only            the addresses the worker hands on in the page's text
  sure + confirmable   and the unsure ones that also stand in the sure text of another
                       page of the run (the run may take those as confirmed)
  sure + unsure        and every unsure one (the upper bound of any confirmation)
Figures for all pages and by resolution, and where the truth tells them apart (the
letters corpus), plain addresses and look-alikes (a digit for the letter it resembles,
which no context settles) apart, each wrong address counted against the kind of the
placed one nearest to it; found addresses are unique per page and compared
with the truth without regard to letter case, as in a run. The worker's own combination is marked (worker).
"""

import argparse
import collections
import difflib
import importlib.util
import json
import os
import re
import sys

# The program's address rules as scripts/ocr-eval.py restates them.
_spec = importlib.util.spec_from_file_location("ocr_eval", os.path.join(os.path.dirname(__file__), "ocr-eval.py"))
ocr_eval = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(ocr_eval)
read_tsv = ocr_eval.read_tsv


def addresses(text):
    return ocr_eval.addresses(text.encode())


def closed(text):
    return re.sub(r" ?@ ?", "@", text)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("pairs", nargs="+", metavar="CORPUS PAGES.jsonl")
    ap.add_argument("--misses", metavar="COMBINATION", help="list wrong sure addresses and missed ones")
    args = ap.parse_args()
    if len(args.pairs) % 2:
        ap.error("give each corpus with its pages")

    truth = collections.defaultdict(set)
    kinds = {}  # (page key, address) -> the letters corpus's kind: plain or look-alike
    dpi, pages = {}, []
    for corpus, run in zip(args.pairs[::2], args.pairs[1::2]):
        for row in read_tsv(os.path.join(corpus, "truth.tsv")):
            truth[(corpus, row["file"], int(row["page"]))].add(row["address"].lower())
            if row.get("digits"):
                kinds[((corpus, row["file"], int(row["page"])), row["address"].lower())] = row["digits"]
        for row in read_tsv(os.path.join(corpus, "plan.tsv")):
            dpi[(corpus, row["file"], int(row["page"]))] = row["dpi"]
        for line in open(run):
            page = json.loads(line)
            page["key"] = (corpus, page["file"], page["page"])
            pages.append(page)
    keys = [p["key"] for p in pages]

    rows = collections.OrderedDict()  # name -> {page key: [addresses]}
    for page in pages:
        key = page["key"]
        for piece in page.get("pieces", []):
            for variant, reading in piece.items():
                rows.setdefault(variant, collections.defaultdict(list))[key] += addresses(closed(reading))
    votes = collections.OrderedDict()  # combination -> (sure, unsure) by page
    for page in pages:
        key = page["key"]
        for name, vote in page.get("votes", {}).items():
            sure, unsure = votes.setdefault(name, ({}, {}))
            sure[key], unsure[key] = vote["sure"], vote["unsure"]
    for name, (sure, unsure) in votes.items():
        seen = collections.defaultdict(set)  # lower-case address -> pages where it is sure
        for key in keys:
            for a in sure.get(key, []):
                seen[a.lower()].add(key)
        rows[name + ": sure only"] = sure
        rows[name + ": sure + confirmable"] = {
            k: sure.get(k, []) + [a for a in unsure.get(k, []) if seen[a.lower()] - {k}] for k in keys}
        rows[name + ": sure + unsure"] = {k: sure.get(k, []) + unsure.get(k, []) for k in keys}
    cpu = sum(page.get("cpu", 0.0) for page in pages)

    groups = [("all", keys)] + [("%s dpi" % d, [k for k in keys if dpi.get(k) == d])
                                 for d in sorted({dpi.get(k) for k in keys}, reverse=True)]
    print("%d pages, %d addresses placed; %.2f s of processor time a page, every variant read" % (
        len(keys), sum(len(truth[k]) for k in keys), cpu / max(1, len(keys))))
    width = max(len(name) for name in rows)
    print("%-*s" % (width, "reading") + "".join("  %-27s" % (g + ": found recall prec") for g, _ in groups))
    for name, found in rows.items():
        line = "%-*s" % (width, name)
        for _, ks in groups:
            placed = hits = total = 0
            for k in ks:
                unique = {a.lower(): a for a in found.get(k, [])}.values()
                placed += len(truth[k])
                total += len(unique)
                hits += sum(1 for a in unique if a.lower() in truth[k])
            line += "  %5d  %.3f  %.3f          " % (total, hits / placed if placed else 0,
                                                     hits / total if total else 1)
        for kind in sorted(set(kinds.values()), reverse=True):
            placed = [pair for pair, k in kinds.items() if k == kind]
            hits = sum(1 for key, a in placed if a in {f.lower() for f in found.get(key, [])})
            # A wrong address counts against the kind of the placed one it is nearest to.
            wrong = sum(1 for key in keys for a in {f.lower() for f in found.get(key, [])}
                        if a not in truth[key] and truth[key] and kinds.get((key, max(
                            truth[key], key=lambda t: difflib.SequenceMatcher(None, a, t).ratio()))) == kind)
            line += "  %s: recall %.3f prec %.3f" % (kind, hits / len(placed), hits / max(1, hits + wrong))
        print(line.rstrip())
    if args.misses:
        sure, unsure = votes[args.misses]
        for k in keys:
            for a in sure.get(k, []):
                if a.lower() not in truth[k]:
                    print("WRONG  %s p%d  %s" % (k[1], k[2], a))
            read = {a.lower() for a in sure.get(k, [])}
            doubted = {a.lower() for a in unsure.get(k, [])}
            for a in sorted(truth[k] - read):
                print("miss   %s p%d  %s%s" % (k[1], k[2], a, "  (unsure)" if a in doubted else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
