#!/usr/bin/env python3
"""Recall and precision of text recognition on the scanned-page corpus.

    ocr-eval.py CORPUS [--repair EXE]... [--lang L] [--no-dict] [--min-conf N] [--psm N]
                [--dpi N] [-c VAR=VALUE]... [--jobs N] [--groups LIST] [--misses]

CORPUS is a folder written by scripts/make-ocr-corpus.sh. Each page is rendered as the
converter worker does, `pdftoppm -r 300 -gray`, and recognised by the `tesseract` command
(language eng unless --lang, OMP_THREAD_LIMIT=1, default page segmentation unless --psm);
the text goes through the program's address rules, restated below as in
scripts/list-addresses.py. With --repair, the recognised text is also piped through EXE
(pelmora_ocr_repair, built from the program's own repair function, with its options if
quoted: --repair "EXE --only at,dashes"); each --repair adds a column.

--no-dict recognises with a copy of the language's model without its word lists (made
here with combine_tessdata), as the worker does with lstm_use_matrix=0 at Init; the
command line's "-c lstm_use_matrix=0" comes too late to act.
--min-conf N reads tesseract's tsv output and blanks every word whose confidence is
below N before the address rules, to measure a confidence rule.

recall    = placed addresses found with exactly their spelling / addresses placed
precision = found addresses that are placed on that page / addresses found
Found addresses are unique per page without regard to letter case, as in a run.
Recognised text is kept under CORPUS/ocr-cache, one folder per tesseract setting.
"""

import argparse
import collections
import concurrent.futures
import hashlib
import os
import re
import shlex
import subprocess
import sys
from pathlib import Path

BLANKED = ",!\"#$%&'()*/:;<=>?[\\]^`{|}~"
SEPARATORS = re.compile(r"[ \t\r\n\f]+")
PATTERN = re.compile(
    r"^([a-zA-Z0-9_\-])([a-zA-Z0-9_\-\.]*)@(\[((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}"
    r"|((([a-zA-Z0-9\-]+)\.)+))([a-zA-Z]{2,}|(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\])\Z")
FONT_CLASS = {"Times-Roman": "serif", "LiberationSerif": "serif", "NewCenturySchlbk-Roman": "serif",
              "Helvetica": "sans", "DejaVuSans": "sans", "LiberationSans": "sans",
              "Courier": "mono", "DejaVuSansMono": "mono"}


def addresses(data):
    """The valid addresses of text bytes in order, as the program finds them."""
    text = data.decode("latin-1")  # the program reads converted text as single bytes
    text = text.translate({ord(c): " " for c in BLANKED})
    found = []
    for word in SEPARATORS.split(text):
        if "@" in word and "." in word:
            word = word.rstrip(".")
            if PATTERN.match(word):
                found.append(word)
    return found


def read_tsv(path):
    with open(path) as f:
        head = f.readline().rstrip("\n").split("\t")
        return [dict(zip(head, line.rstrip("\n").split("\t"))) for line in f if line.strip()]


def model_without_word_lists(langs, folder):
    """A tessdata folder holding each language's model without its word lists."""
    system = Path(subprocess.run(["tesseract", "--list-langs"], capture_output=True, text=True,
                                 check=True).stdout.split('"')[1])
    folder.mkdir(parents=True, exist_ok=True)
    if not (folder / "configs").exists():
        (folder / "configs").symlink_to(system / "configs")
    for lang in langs.split("+"):
        if (folder / (lang + ".traineddata")).exists():
            continue
        parts = folder / ("parts-" + lang)
        parts.mkdir(exist_ok=True)
        subprocess.run(["combine_tessdata", "-u", str(system / (lang + ".traineddata")), str(parts / lang) + "."],
                       check=True, capture_output=True)
        for part in parts.iterdir():
            if "dawg" in part.name or part.name.endswith(".traineddata"):
                part.unlink()
        subprocess.run(["combine_tessdata", str(parts / lang) + "."], check=True, capture_output=True)
        (parts / (lang + ".traineddata")).rename(folder / (lang + ".traineddata"))
        for part in parts.iterdir():
            part.unlink()
        parts.rmdir()
    return folder


def text_from_tsv(tsv, min_conf):
    """Page text from tesseract's tsv: words of a line joined by a space, a blank line
    after each paragraph, words below min_conf blanked."""
    lines, key, words = [], None, []
    for row in tsv.decode("utf-8", "replace").splitlines()[1:]:
        f = row.split("\t")
        if len(f) < 12 or f[0] != "5":
            continue
        k = tuple(f[1:5])
        if k != key:
            if words:
                lines.append((key, " ".join(words)))
            key, words = k, []
        word = f[11]
        words.append(word if float(f[10]) >= min_conf else " " * len(word))
    if words:
        lines.append((key, " ".join(words)))
    out = []
    for i, (k, line) in enumerate(lines):
        out.append(line)
        if i + 1 == len(lines) or lines[i + 1][0][:3] != k[:3]:
            out.append("")
    return "\n".join(out).encode()


def recognise(job):
    pdf, page, cache, tess_args, render_dpi, min_conf = job
    out = cache / ("%s-%d.%s" % (pdf.stem, page, "tsv" if min_conf is not None else "txt"))
    if out.exists():
        text = out.read_bytes()
        return text_from_tsv(text, min_conf) if min_conf is not None else text
    stem = cache / ("%s-%d.%d" % (pdf.stem, page, os.getpid()))  # two runs may share the cache
    subprocess.run(["pdftoppm", "-r", str(render_dpi), "-gray", "-f", str(page), "-l", str(page), "-singlefile",
                    str(pdf), str(stem)], check=True)
    env = dict(os.environ, OMP_THREAD_LIMIT="1")
    text = subprocess.run(["tesseract", str(stem) + ".pgm", "stdout"] + tess_args
                          + (["tsv"] if min_conf is not None else []),
                          env=env, check=True, capture_output=True).stdout
    os.remove(str(stem) + ".pgm")
    tmp = out.with_suffix(".%d.tmp" % os.getpid())
    tmp.write_bytes(text)
    tmp.rename(out)
    return text_from_tsv(text, min_conf) if min_conf is not None else text


def group_keys(p):
    cls = FONT_CLASS.get(p["font"], "other")
    return {
        "all": "all",
        "dpi": "%s dpi" % p["dpi"],
        "blur": "blurred" if p["blur"] == "1" else "sharp",
        "turn": "turned" if float(p["angle"]) else "straight",
        "class": cls,
        "font": "%s %s" % (cls, p["font"]),
        "size": "%s pt" % p["size"],
        "kind": {"bw": "1-bit", "gray": "grey", "jpeg": "JPEG"}[p["kind"]],
    }


def score(pages, truth, found_by_page):
    """(placed, found, correct) per page, and (placed, correct) per kind of digits."""
    out, by_digits = {}, collections.defaultdict(lambda: [0, 0])
    for key in pages:
        placed = {a for a, _ in truth.get(key, [])}
        seen, found = set(), []
        for a in found_by_page[key]:
            if a.lower() not in seen:
                seen.add(a.lower())
                found.append(a)
        correct = sum(1 for a in found if a in placed)
        out[key] = (len(placed), len(found), correct)
        for a, digits in truth.get(key, []):
            by_digits[digits][0] += 1
            by_digits[digits][1] += a in found
    return out, by_digits


def fmt(placed, found, correct):
    recall = correct / placed if placed else 0.0
    precision = correct / found if found else 1.0
    return "%4d %4d  %.3f  %.3f" % (found, correct, recall, precision)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("corpus", type=Path)
    ap.add_argument("--repair", action="append", default=[], help="text filter built from the repair function")
    ap.add_argument("--lang", default="eng", help="tesseract language(s), e.g. Latin or eng+Latin")
    ap.add_argument("--no-dict", action="store_true", help="the language's model without its word lists")
    ap.add_argument("--min-conf", type=float, help="blank words below this tesseract confidence (tsv output)")
    ap.add_argument("--psm", help="tesseract page segmentation mode")
    ap.add_argument("--dpi", help="resolution told to tesseract")
    ap.add_argument("--render", type=int, default=300, help="pdftoppm resolution (the worker's is 300)")
    ap.add_argument("-c", dest="config", action="append", default=[], help="tesseract VAR=VALUE")
    ap.add_argument("--user-patterns", help="tesseract user patterns file")
    ap.add_argument("--user-words", help="tesseract user words file")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    ap.add_argument("--groups", default="all,dpi,blur,turn,kind,class,size,font")
    ap.add_argument("--misses", action="store_true", help="list missed and wrong addresses")
    args = ap.parse_args()

    tess_args = []
    if args.no_dict:
        tess_args += ["--tessdata-dir", str(model_without_word_lists(args.lang, args.corpus / "ocr-cache" / "tessdata-nodict"))]
    tess_args += ["-l", args.lang]
    if args.psm:
        tess_args += ["--psm", args.psm]
    if args.dpi:
        tess_args += ["--dpi", args.dpi]
    for c in args.config:
        tess_args += ["-c", c]
    for option, path in (("--user-patterns", args.user_patterns), ("--user-words", args.user_words)):
        if path:
            tess_args += [option, str(Path(path).resolve())]
    # The cache key leaves out where the model copy lives; the default keeps its old name.
    shown = [a for a in tess_args if "tessdata-nodict" not in a]
    shown = [a for a in shown if a != "--tessdata-dir"] + (["(no word lists)"] if args.no_dict else [])
    setting = " ".join(shown[2:] if shown[:2] == ["-l", "eng"] else shown) or "default"
    if args.min_conf is not None:
        setting += " (tsv)"
    for path in (args.user_patterns, args.user_words):
        if path:  # the cache follows the file's content
            setting += " (%s)" % hashlib.sha1(Path(path).read_bytes()).hexdigest()[:8]
    if args.render != 300:
        setting += " (pages at %d dpi)" % args.render
    cache = args.corpus / "ocr-cache" / (hashlib.sha1(setting.encode()).hexdigest()[:10])
    cache.mkdir(parents=True, exist_ok=True)
    (cache / "setting.txt").write_text(setting + "\n")

    plan = read_tsv(args.corpus / "plan.tsv")
    truth = collections.defaultdict(list)
    for row in read_tsv(args.corpus / "truth.tsv"):
        truth[(row["file"], int(row["page"]))].append((row["address"], row.get("digits", "plain")))
    pages = {(p["file"], int(p["page"])): p for p in plan}

    jobs = [(args.corpus / f, pg, cache, tess_args, args.render, args.min_conf) for (f, pg) in pages]
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        texts = dict(zip(pages, pool.map(recognise, jobs)))

    variants = [("recognised", {k: addresses(t) for k, t in texts.items()})]
    for n, repair in enumerate(args.repair):
        repaired = {}
        for k, t in texts.items():
            repaired[k] = addresses(subprocess.run(shlex.split(repair), input=t, check=True,
                                                   capture_output=True).stdout)
        only = shlex.split(repair)[1:]
        variants.append(("repaired" + (" " + only[-1] if only else ""), repaired))
    scores = [(name, score(pages, truth, found)) for name, found in variants]

    print("tesseract %s%s; pdftoppm -r %d -gray; %d pages, %d addresses placed" % (
        setting, "; words below %g blanked" % args.min_conf if args.min_conf is not None else "",
        args.render, len(pages), sum(len(v) for v in truth.values())))
    header = "%-34s %6s" % ("group", "placed")
    for name, _ in scores:
        header += "  | %-27s" % (name + ": found ok recall prec")
    print(header)
    for g in args.groups.split(","):
        totals = collections.OrderedDict()
        for key, p in sorted(pages.items(), key=lambda kv: group_keys(kv[1])[g]):
            label = group_keys(p)[g]
            totals.setdefault(label, [[0, 0, 0] for _ in scores])
            for i, (_, s) in enumerate(scores):
                for j in range(3):
                    totals[label][i][j] += s[0][key][j]
        for label, per in totals.items():
            line = "%-34s %6d" % (label, per[0][0])
            for t in per:
                line += "  | %-27s" % fmt(*t)
            print(line)
    for digits in sorted(scores[0][1][1]):
        line = "%-34s %6d" % ("digits " + digits, scores[0][1][1][digits][0])
        for _, (_, by_digits) in scores:
            placed, correct = by_digits[digits]
            line += "  | %4s %4d  %.3f  %5s  " % ("", correct, correct / placed, "")
        print(line)
    if args.misses:
        for name, found in variants:
            print("\n== %s: missed (placed -> nearest recognised word) and wrong" % name)
            for key in pages:
                placed = [a for a, _ in truth.get(key, [])]
                got = found[key]
                for a in placed:
                    if a not in got:
                        print("miss  %s p%d  %s" % (key[0], key[1], a))
                for a in got:
                    if a not in placed:
                        print("WRONG %s p%d  %s" % (key[0], key[1], a))
    return 0


if __name__ == "__main__":
    sys.exit(main())
