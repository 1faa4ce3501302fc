#!/usr/bin/env python3
"""Lists the addresses that Pelmora's extraction keeps from converted text.

    list-addresses.py FILE.txt...     one address per line, per-run uniqueness

A short restatement of the program's rules, for checking the committed test
data by hand: punctuation blanked, words cut at CR, LF, TAB, space and form
feed, a word taken when it holds "@" and ".", its sentence-ending full stops
dropped, the rest matched whole against the address pattern, the first spelling of an
address kept, later ones dropped case-insensitively. Lines are split at LF,
as the converter writes them on this system, and fed with CR LF appended.
"""

import re
import sys

BLANKED = ",!\"#$%&'()*/:;<=>?[\\]^`{|}~"
PATTERN = re.compile(
    r"^([a-zA-Z0-9_\-])([a-zA-Z0-9_\-\.]*)@(\[((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}"
    r"|((([a-zA-Z0-9\-]+)\.)+))([a-zA-Z]{2,}|(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\])\Z")


def candidates(text):
    for ch in BLANKED:
        text = text.replace(ch, " ")
    return [w.rstrip(".") for w in re.split("[\r\n\t \f]", text) if "@" in w and "." in w]


def main(paths):
    seen = set()
    for path in paths:
        # Single-byte reading, as the program reads the converter's text.
        with open(path, "rb") as f:
            text = f.read().decode("latin-1")
        lines = text.split("\n")
        if lines and lines[-1] == "":
            lines.pop()
        for line in lines:
            for word in candidates(line + "\r\n"):
                if PATTERN.match(word) and word.lower() not in seen:
                    seen.add(word.lower())
                    print(word)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
