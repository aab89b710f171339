#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
"""Checks a DFXML report: it parses, and each fileobject's byte runs, read from the card
image, give back the file kept beside it (expected/<n>). Prints each original_filename."""
import sys
import xml.etree.ElementTree as ET

NS = '{http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML}'


def main(folder):
    root = ET.parse(f'{folder}/report.xml').getroot()
    with open(f'{folder}/card.img', 'rb') as f:
        image = f.read()
    objects = root.findall(f'{NS}fileobject')
    if not objects:
        sys.exit('no fileobject')
    for n, obj in enumerate(objects):
        size = int(obj.find(f'{NS}filesize').text)
        data = bytearray(size)
        for run in obj.find(f'{NS}byte_runs'):
            offset, img, length = (int(run.get(k)) for k in ('offset', 'img_offset', 'len'))
            data[offset:offset + length] = image[img:img + length]
        with open(f'{folder}/expected/{n}', 'rb') as f:
            if bytes(data) != f.read():
                sys.exit(f'fileobject {n} ({obj.find(NS + "filename").text}) differs')
        original = obj.find(f'{NS}original_filename')
        mtime = obj.find(f'{NS}mtime')
        print((original.text if original is not None else '-') + '|' +
              (mtime.text if mtime is not None else '-'))


if __name__ == '__main__':
    main(sys.argv[1])
