#!/usr/bin/env python3
"""Recall and precision of a whole pelmora-extract --ocr run on a scanned-page corpus.

    ocr-score-run.py CORPUS RESULTS.jsonl [FILE...]

RESULTS.jsonl is what `pelmora-extract --ocr --format jsonl CORPUS/*.pdf` wrote: each
address once per run. As in a run, addresses are compared without regard to letter
case, and an address placed on several pages counts once: recall is the share of the
corpus's distinct addresses (of the FILEs given, by default all) that the run lists, and
precision the share of the listed addresses that are placed. Unlike ocr-eval.py this
measures the program as shipped: the worker's recognition settings, its vote and the
run's repairs.
"""

import csv
import json
import os
import sys


def main(corpus, results, files):
    names = {os.path.basename(f) for f in files}
    with open(os.path.join(corpus, "truth.tsv"), newline="") as f:
        placed = {row["address"].lower() for row in csv.DictReader(f, delimiter="\t")
                  if not names or row["file"] in names}
    with open(results) as f:
        found = {json.loads(line)["address"].lower() for line in f}
    correct = len(found & placed)
    print("placed %d, found %d, correct %d: recall %.3f, precision %.3f"
          % (len(placed), len(found), correct, correct / len(placed), correct / len(found) if found else 1.0))
    return 0


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3:]))
