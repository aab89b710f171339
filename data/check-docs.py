#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
"""Checks that the documents tell one truth where the same thing is said in two places:

- reading a card and the exit status of `snapsalvager-cli recover`: the README, both manual
  pages and the support page list the exit statuses exactly as the program's own
  `recover --help` does, and the README, both manual pages, the card-reader page and the
  support page hold the one sentence on device access (English in the README, the manual
  pages and the English help pages, Chinese in the Chinese ones);
- the help pages: the languages the README and the manual page say they are in are the
  languages of the help folders, and the folder they name is where CMake installs them; every
  help page or document a manual page points to exists (a document must be one the package
  installs, from docs/);
- the version: NEWS begins with the program's version, and the support pages' example of the
  About box shows it;
- the menu entry and the software-centre entry: the same names in the same languages, in the
  same locale form (zh_CN: a software centre matches the locale, not zh-CN).

The help pages are checked in both languages (HELP-FOLDER and HELP-FOLDER/en). Markup is
ignored: HTML tags and entities, roff requests and escapes, and line breaks. Exit status 1
with one line per fault.

    check-docs.py CLI README SNAPSALVAGER.1 SNAPSALVAGER-CLI.1 HELP-FOLDER TOP HELP-INSTALL

TOP is the source folder (NEWS, docs/, data/, debian/docs); HELP-INSTALL the help pages'
install folder below the prefix (share/snapsalvager/help)."""
import html
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

ACCESS_EN = ("The window opens a card's device directly for root or a member of the device's group "
             "(usually disk), and otherwise asks udisks2 to open it read-only, which asks for an "
             "administrator's password through polkit; snapsalvager-cli opens devices itself, so run "
             "it with sudo for a real card, or recover from a disk image.")
ACCESS_ZH = ("窗口程序以 root 身份运行、或由设备所属组（通常是 disk）的成员运行时，直接打开存储卡的设备；"
             "否则请 udisks2 以只读方式打开它，这时 polkit 会要求输入管理员密码。命令行程序 snapsalvager-cli "
             "自己打开设备：读取真实的存储卡时请用 sudo 运行它，或者改用磁盘映像文件。")


def flat(text):
    """One space for every run of white space, none between two wide characters (a line break
    in Chinese text is no space)."""
    text = re.sub(r'\s+', ' ', text).strip()
    return re.sub(r'(?<=[^\x00-\x7f]) (?=[^\x00-\x7f])', '', text)


def from_html(text):
    return html.unescape(re.sub(r'<[^>]*>', '', text))


def from_roff(text):
    lines = []
    for line in text.split('\n'):
        if line.startswith(('.', "'")):
            # A request: its arguments are text (.B, .BR, .SH ...), its name is not.
            parts = line.split(None, 1)
            line = parts[1].replace('"', '') if len(parts) > 1 else ''
        lines.append(line)
    text = '\n'.join(lines)
    for escape, plain in (('\\-', '-'), ('\\(aq', "'"), ('\\(dq', '"'), ('\\(ga', '`'), ('\\(lq', '"'),
                          ('\\(rq', '"'), ('\\&', ''), ('\\ ', ' '), ('\\e', '\\')):
        text = text.replace(escape, plain)
    return re.sub(r'\\f[BIRP]|\\f\(\w\w|\\f\[\w*\]', '', text)


def exit_statuses(cli):
    # The README quotes the English help.
    english = dict(os.environ, SNAPSALVAGER_LANG='en')
    usage = subprocess.run([cli, 'recover', '--help'], capture_output=True, text=True, check=True,
                           env=english).stdout
    block = usage.split('exit status:\n', 1)[1]
    lines = [l.strip() for l in block.split('\n') if re.match(r'\s+\d+\s', l)]
    return flat(' '.join(lines)), [l.split()[0] for l in lines]


# The help folders' languages: the top folder holds the Chinese pages, each subfolder with an
# index.html those of the language it is named after.
LANGUAGE_NAMES = {'zh': 'Chinese', 'en': 'English'}
# The documents a manual page may point to, and the help pages, as a package installs them.
DOC_PATH = re.compile(r'/usr/share/doc/snapsalvager/([\w.-]+)')
DATA_PATH = re.compile(r'/usr/share/snapsalvager/[\w./-]*')


def help_languages(help_folder):
    languages = {'zh': ''}
    for entry in sorted(os.listdir(help_folder)):
        if os.path.isfile(os.path.join(help_folder, entry, 'index.html')):
            languages[entry] = entry + '/'
    return languages


def sentences(text):
    return re.split(r'(?<=[.;:])\s+(?=[A-Z`(])', text)


def check_help_statements(documents, languages):
    """README and snapsalvager(1): the sentences on the help pages name each language of the
    help folders, claim none of them alone, and name the folder the pages are installed in."""
    faults = []
    names = [LANGUAGE_NAMES.get(code, code) for code in languages]
    for path, text, folder in documents:
        about = [s for s in sentences(text) if re.search(r'\bhelp pages?\b', s, re.I)]
        if not about:
            faults.append('%s: says nothing of the help pages' % path)
            continue
        for name in names:
            if not any(name in s for s in about):
                faults.append('%s: does not say that the help pages are in %s' % (path, name))
        for s in about:
            told = [name for name in names if name in s]
            if re.search(r'\bonly\b|\balone\b', s) and len(told) == 1:
                faults.append('%s: says the help pages are in %s only: "%s"' % (path, told[0], s))
        if folder not in text:
            faults.append('%s: does not name %s, where the help pages are installed' % (path, folder))
    return faults


def check_pointers(path, text, help_folder, help_install, top):
    """Every help page and document a manual page names exists."""
    faults = []
    folder = '/usr/%s/' % help_install
    for found in DATA_PATH.finditer(text):
        named = found.group(0).rstrip('.')
        if not (named + '/').startswith(folder):
            faults.append('%s: names %s, but the help pages are installed in %s' % (path, named, folder))
            continue
        page = named[len(folder):]
        if page and not page.endswith('/') and not any(
                os.path.isfile(os.path.join(help_folder, page + suffix)) for suffix in ('', '.in')):
            faults.append('%s: names the help page %s, which help/ does not have' % (path, named))
    listed = None
    debian_docs = os.path.join(top, 'debian', 'docs')
    if os.path.isfile(debian_docs):
        listed = {os.path.basename(l.strip()) for l in open(debian_docs, encoding='utf-8') if l.strip()}
    for found in DOC_PATH.finditer(text):
        name = re.sub(r'\.gz$', '', found.group(1))
        if name == 'copyright' or name.startswith('changelog'):
            continue
        if not os.path.isfile(os.path.join(top, 'docs', name)):
            faults.append('%s: names %s, but docs/ has no %s' % (path, found.group(0), name))
        elif listed is not None and name not in listed:
            faults.append('%s: names %s, which debian/docs does not install' % (path, found.group(0)))
    return faults


def check_version(cli, top, help_folder, languages):
    faults = []
    version = subprocess.run([cli, '--version'], capture_output=True, text=True, check=True).stdout.split()[-1]
    news = open(os.path.join(top, 'NEWS'), encoding='utf-8').read()
    newest = re.search(r'^(\d+\.\d+\.\d+) \(', news, re.M)
    if not newest or newest.group(1) != version:
        faults.append('NEWS: the newest version is %s, the program says %s'
                      % (newest.group(1) if newest else 'missing', version))
    major, minor, build = version.split('.')
    shown = '%s.%s build %s' % (major, minor, build)
    for folder in languages.values():
        path = os.path.join(help_folder, folder, 'support.html')
        examples = re.findall(r'(?:Version|版本) (\d+\.\d+ build \d+)', flat(from_html(open(path, encoding='utf-8').read())))
        if not examples or any(e != shown for e in examples):
            faults.append('%s: the About box\'s version is "%s" (not %s)' % (path, shown, ', '.join(examples) or 'shown'))
    return faults


def check_entries(top):
    """The menu entry's names are the software-centre entry's, language by language."""
    data = os.path.join(top, 'data')
    desktop = [f for f in os.listdir(data) if f.endswith('.desktop')][0]
    metainfo = [f for f in os.listdir(data) if f.endswith('.metainfo.xml')][0]
    names = {}
    for line in open(os.path.join(data, desktop), encoding='utf-8'):
        found = re.match(r'Name(?:\[([^]]+)\])?=(.*)', line.rstrip('\n'))
        if found:
            names[found.group(1) or ''] = found.group(2)
    lang = '{http://www.w3.org/XML/1998/namespace}lang'
    root = ElementTree.parse(os.path.join(data, metainfo)).getroot()
    faults = []
    tagged = {element.get(lang) for element in root.iter() if element.get(lang)}
    for code in sorted(tagged - set(names)):
        faults.append('%s: xml:lang="%s" is no locale of the menu entry (%s)' % (metainfo, code, ', '.join(sorted(c for c in names if c))))
    for element in root.findall('name'):
        code = element.get(lang) or ''
        if names.get(code) != element.text:
            faults.append('%s: the name in "%s" is "%s", the menu entry\'s "%s"' % (metainfo, code, element.text, names.get(code)))
    return faults


def main():
    if len(sys.argv) != 8:
        print(__doc__, file=sys.stderr)
        return 2
    cli, readme, wizard_page, cli_page, help_folder, top, help_install = sys.argv[1:]
    help_install = help_install.strip('/')
    statuses, numbers = exit_statuses(cli)
    read = lambda path: open(path, encoding='utf-8').read()
    documents = {
        readme: (flat(read(readme)), ACCESS_EN),
        wizard_page: (flat(from_roff(read(wizard_page))), ACCESS_EN),
        cli_page: (flat(from_roff(read(cli_page))), ACCESS_EN),
    }
    languages = help_languages(help_folder)
    for code, folder in languages.items():
        access = ACCESS_ZH if code == 'zh' else ACCESS_EN
        for page in ('support.html', 'cardreader.html'):
            path = os.path.join(help_folder, folder, page)
            documents[path] = (flat(from_html(read(path))), access)
    faults = []
    for path, (text, access) in documents.items():
        if flat(access) not in text:
            faults.append('%s: lacks the sentence on device access' % path)
        if not path.endswith('cardreader.html') and statuses not in text:
            faults.append('%s: lacks the exit statuses of recover --help (%s)' % (path, ', '.join(numbers)))
    faults += check_help_statements([(readme, documents[readme][0], help_install + '/'),
                                     (wizard_page, documents[wizard_page][0], '/usr/' + help_install + '/')],
                                    languages)
    for page in (wizard_page, cli_page):
        faults += check_pointers(page, documents[page][0], help_folder, help_install, top)
    faults += check_version(cli, top, help_folder, languages)
    faults += check_entries(top)
    for fault in faults:
        print(fault)
    if not faults:
        print('%d documents agree on device access, exit statuses %s, the help pages (%s, in %s), '
              'the documents pointed to, the version and the entries\' names'
              % (len(documents), ', '.join(numbers), ', '.join(LANGUAGE_NAMES.get(c, c) for c in languages),
                 help_install))
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
