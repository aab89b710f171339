#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
"""Checks the help pages of both languages: the Chinese ones in FOLDER, the English ones in
FOLDER/en. Each page parses with properly nested tags and the head every page shares (with
the lang of its folder), every link between pages leads to an existing page and anchor of
its own language, no page links off the machine, no line is longer than MAX_LINE characters
(a long line reads as generated rather than written, and packagers flag it), the table of
contents reaches every page, and both languages have the same pages with the same anchors
(the window opens either at the same anchor). When tidy is installed, it must report neither
errors nor warnings. Exit status 1 with one line per fault.

    check-pages.py FOLDER"""
import os
import re
import shutil
import subprocess
import sys
from html.parser import HTMLParser
from urllib.parse import urlsplit

VOID = {'area', 'base', 'br', 'col', 'embed', 'hr', 'img', 'input', 'link', 'meta', 'source', 'track', 'wbr'}
MAX_LINE = 120
TOPICS = ['index', 'home', 'cardreader', 'cddvd', 'previewquestion', 'postprocess', 'support', 'update']


class Page(HTMLParser):
    def __init__(self, name):
        super().__init__(convert_charrefs=True)
        self.name = name
        self.faults = []
        self.stack = []
        self.ids = set()
        self.links = []  # (line, address)
        self.doctype = False
        self.lang = None
        self.charset = None
        self.stylesheet = False
        self.title = ''
        self.in_title = False

    def fault(self, text):
        self.faults.append('%s:%d: %s' % (self.name, self.getpos()[0], text))

    def handle_decl(self, decl):
        self.doctype = self.doctype or decl.lower() == 'doctype html'

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag not in VOID:
            self.stack.append(tag)
        if 'id' in a:
            if a['id'] in self.ids:
                self.fault('id "%s" twice' % a['id'])
            self.ids.add(a['id'])
        for key in ('href', 'src'):
            if a.get(key) is not None:
                self.links.append((self.getpos()[0], a[key]))
        if tag == 'html':
            self.lang = a.get('lang')
        elif tag == 'meta' and 'charset' in a:
            self.charset = a['charset'].lower()
        elif tag == 'link' and a.get('rel') == 'stylesheet':
            self.stylesheet = True
        elif tag == 'title':
            self.in_title = True

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag not in VOID:
            self.stack.pop()

    def handle_endtag(self, tag):
        if tag == 'title':
            self.in_title = False
        if tag in VOID:
            self.fault('</%s> closes an empty element' % tag)
        elif not self.stack:
            self.fault('</%s> without an open element' % tag)
        elif self.stack[-1] != tag:
            self.fault('</%s> while <%s> is open' % (tag, self.stack[-1]))
            if tag in self.stack:
                del self.stack[self.stack.index(tag, len(self.stack) - self.stack[::-1].index(tag) - 1):]
        else:
            self.stack.pop()

    def handle_data(self, data):
        if self.in_title:
            self.title += data


LANGUAGES = [('', 'zh-CN'), ('en', 'en')]


def check(folder, lang, prefix=''):
    """The faults of one language's folder, each named with `prefix`, and its pages."""
    faults = []
    pages = {}
    names = sorted(n for n in os.listdir(folder) if n.endswith('.html'))
    for topic in TOPICS:
        if topic + '.html' not in names:
            faults.append('%s.html: missing' % topic)
    for name in names:
        with open(os.path.join(folder, name), encoding='utf-8') as f:
            text = f.read()
        page = Page(prefix + name)
        page.feed(text)
        page.close()
        if page.stack:
            page.fault('unclosed: ' + ' '.join('<%s>' % t for t in page.stack))
        if not page.doctype:
            page.fault('no <!DOCTYPE html>')
        if page.lang != lang:
            page.fault('<html> without lang="%s"' % lang)
        if page.charset != 'utf-8':
            page.fault('no <meta charset="utf-8">')
        if not page.stylesheet:
            page.fault('no style sheet')
        if not page.title.strip():
            page.fault('no title')
        for number, line in enumerate(text.split('\n'), 1):
            if len(line) > MAX_LINE:
                faults.append('%s%s:%d: line of %d characters (at most %d)' % (prefix, name, number, len(line), MAX_LINE))
        for match in re.finditer(r'@[A-Za-z_]+@', text):
            page.fault('unfilled ' + match.group(0))
        faults += page.faults
        pages[name] = page

    reached = {'index.html'}
    for name, page in pages.items():
        for line, address in page.links:
            parts = urlsplit(address)
            where = '%s%s:%d: ' % (prefix, name, line)
            if parts.scheme or parts.netloc:
                faults.append(where + 'link off the machine: ' + address)
                continue
            target = parts.path or name
            if target.endswith('.html') and '/' in target:
                faults.append(where + 'link to a page of another folder: ' + address)
                continue
            if not os.path.isfile(os.path.join(folder, target)):
                faults.append(where + 'no such file: ' + address)
                continue
            if target.endswith('.html'):
                if name == 'index.html':
                    reached.add(target)
                if parts.fragment and target in pages and parts.fragment not in pages[target].ids:
                    faults.append(where + 'no such anchor: ' + address)
    for name in names:
        if name not in reached:
            faults.append('%sindex.html: no link to %s' % (prefix, name))

    tidy = shutil.which('tidy')
    if tidy:
        for name in names:
            run = subprocess.run([tidy, '-q', '-e', '-utf8', os.path.join(folder, name)],
                                 capture_output=True, text=True)
            # Warnings count too: tidy knows which element may hold which.
            if run.returncode != 0:
                faults += ['%s%s: tidy: %s' % (prefix, name, l) for l in run.stderr.splitlines() if l.strip()]
    return faults, pages


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    faults = []
    languages = []
    for sub, lang in LANGUAGES:
        folder = os.path.join(sys.argv[1], sub)
        found, pages = check(folder, lang, sub + '/' if sub else '')
        faults += found
        languages.append((sub, pages))
    (_, chinese), *others = languages
    for sub, pages in others:
        for name in sorted(set(chinese) | set(pages)):
            if name not in pages:
                faults.append('%s/%s: missing (the Chinese page has no English twin)' % (sub, name))
            elif name not in chinese:
                faults.append('%s/%s: no Chinese twin' % (sub, name))
            elif chinese[name].ids != pages[name].ids:
                faults.append('%s/%s: anchors differ from the Chinese page: %s' % (
                    sub, name, ' '.join(sorted(chinese[name].ids ^ pages[name].ids))))
    for f in faults:
        print(f)
    if not faults:
        print('%s pages, no faults' % ' + '.join(str(len(p)) for _, p in languages))
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
