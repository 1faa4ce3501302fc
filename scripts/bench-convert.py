#!/usr/bin/env python3
"""Times N conversions of one PDF: N pdftotext processes one after the other, then
one pelmora-convert --serve worker answering N requests. Checks the texts are the
same and prints the worker's peak memory.

    scripts/bench-convert.py WORKER PDF [N]
    e.g. scripts/bench-convert.py build/libexec/pelmora/pelmora-convert tests/data/long.pdf 20
"""

import os
import struct
import subprocess
import sys
import time


def frame(kind, fields):
    payload = b"".join(struct.pack("<I", len(f)) + f for f in fields)
    return kind + struct.pack("<I", len(payload)) + payload


def frames(data):
    at = 0
    while at < len(data):
        kind = data[at:at + 1]
        (length,) = struct.unpack("<I", data[at + 1:at + 5])
        payload = data[at + 5:at + 5 + length]
        at += 5 + length
        fields, i = [], 0
        while i < len(payload):
            (n,) = struct.unpack("<I", payload[i:i + 4])
            fields.append(payload[i + 4:i + 4 + n])
            i += 4 + n
        yield kind, fields


def main():
    worker, pdf = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 20

    start = time.perf_counter()
    reference = None
    for _ in range(count):
        reference = subprocess.run(["pdftotext", pdf, "-"], check=True, capture_output=True).stdout
    processes = time.perf_counter() - start

    request = frame(b"C", [os.fsencode(pdf), b"", b"", b"", b""])
    start = time.perf_counter()
    proc = subprocess.Popen([worker, "--serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    # The requests are small enough for the pipe; reaping with wait4 gives the peak memory.
    proc.stdin.write(request * count)
    proc.stdin.close()
    out = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    served = time.perf_counter() - start

    texts, current = [], b""
    for kind, fields in frames(out):
        if kind == b"T":
            current += fields[1]
        elif kind == b"D":
            texts.append(current)
            current = b""
    same = len(texts) == count and all(t == reference for t in texts)
    print("%d x %s (%d bytes of text each)" % (count, pdf, len(reference)))
    print("pdftotext, one process per file: %.3f s" % processes)
    print("pelmora-convert --serve, one worker: %.3f s (%.1fx)" % (served, processes / served))
    print("texts identical: %s" % ("yes" if same else "NO"))
    print("worker exit status %d, peak RSS %d KiB" % (proc.returncode, usage.ru_maxrss))
    return 0 if same and proc.returncode == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
