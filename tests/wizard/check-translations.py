#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
"""Checks that the window's English translation is complete and current: lupdate, run over
the window's sources and forms into a copy of the .ts, finds no new (unfinished) text and no
text gone from the sources (vanished or obsolete: a Chinese source text changed), and lrelease
reports every translation finished. Exit status 1 with one line per fault.

    check-translations.py LUPDATE LRELEASE TS SOURCE-FOLDER FORM..."""
import re
import shutil
import subprocess
import sys
import tempfile


def main():
    lupdate, lrelease, ts, sources, *forms = sys.argv[1:]
    faults = []
    with tempfile.TemporaryDirectory() as work:
        copy = f"{work}/check.ts"
        shutil.copy(ts, copy)
        subprocess.run([lupdate, "-silent", "-locations", "none", sources, *forms, "-ts", copy],
                       check=True, stdout=subprocess.DEVNULL)
        text = open(copy, encoding="utf-8").read()
        for message in re.findall(r"<message>.*?</message>", text, re.S):
            kind = re.search(r'<translation type="(\w+)"', message)
            if kind:
                source = re.search(r"<source>(.*?)</source>", message, re.S).group(1)
                faults.append(f"{kind.group(1)}: {source[:80]}")
        if text != open(ts, encoding="utf-8").read() and not faults:
            faults.append(f"{ts} is not as lupdate writes it: run lupdate over the sources and forms")
        release = subprocess.run([lrelease, ts, "-qm", f"{work}/check.qm"], check=True,
                                 capture_output=True, text=True).stdout
        if not re.search(r"\(\d+ finished and 0 unfinished\)", release):
            faults.append(f"lrelease: {release.strip()}")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
