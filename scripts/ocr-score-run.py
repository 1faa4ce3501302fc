#!/usr/bin/env python3
"""Recall and precision of a whole pelmora-extract --ocr run on the scanned-page corpus.

    ocr-score-run.py CORPUS RESULTS.jsonl

RESULTS.jsonl is what `pelmora-extract --ocr --format jsonl CORPUS/*.pdf` wrote: each
address once per run, with the file and page of its first sighting. An address counts
as correct when it is placed, with exactly that spelling, on that page (truth.tsv of
scripts/make-ocr-corpus.sh). Unlike ocr-eval.py this measures the program as shipped:
the worker's recognition settings, its confidence rule and the engine's repairs.
"""

import collections
import csv
import json
import os
import sys


def main(corpus, results):
    placed = collections.defaultdict(set)
    with open(os.path.join(corpus, "truth.tsv"), newline="") as f:
        for row in csv.DictReader(f, delimiter="\t"):
            placed[(row["file"], int(row["page"]))].add(row["address"])
    found = correct = 0
    with open(results) as f:
        for line in f:
            row = json.loads(line)
            found += 1
            correct += row["address"] in placed[(os.path.basename(row["file"]), row["page"])]
    total = sum(len(v) for v in placed.values())
    print("placed %d, found %d, correct %d: recall %.3f, precision %.3f"
          % (total, found, correct, correct / total, correct / found if found else 1.0))
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
