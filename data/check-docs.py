#!/usr/bin/env python3
"""Checks that the documents tell one truth about reading a card and about the exit status of
`snapsalvager-cli recover`: the README, both manual pages and the support page list the exit
statuses exactly as the program's own `recover --help` does, and the README, both manual pages,
the card-reader page and the support page hold the one sentence on device access (English in
the README, the manual pages and the English help pages, Chinese in the Chinese ones). The
help pages are checked in both languages (HELP-FOLDER and HELP-FOLDER/en). Markup is ignored: HTML tags and
entities, roff requests and escapes, and line breaks. Exit status 1 with one line per fault.

    check-docs.py CLI README SNAPSALVAGER.1 SNAPSALVAGER-CLI.1 HELP-FOLDER"""
import html
import re
import subprocess
import sys

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
    usage = subprocess.run([cli, 'recover', '--help'], capture_output=True, text=True, check=True).stdout
    block = usage.split('exit status:\n', 1)[1]
    lines = [l.strip() for l in block.split('\n') if re.match(r'\s+\d+\s', l)]
    return flat(' '.join(lines)), [l.split()[0] for l in lines]


def main():
    if len(sys.argv) != 6:
        print(__doc__, file=sys.stderr)
        return 2
    cli, readme, wizard_page, cli_page, help_folder = sys.argv[1:]
    statuses, numbers = exit_statuses(cli)
    read = lambda path: open(path, encoding='utf-8').read()
    documents = {
        readme: (flat(read(readme)), ACCESS_EN),
        wizard_page: (flat(from_roff(read(wizard_page))), ACCESS_EN),
        cli_page: (flat(from_roff(read(cli_page))), ACCESS_EN),
    }
    for folder, access in ((help_folder, ACCESS_ZH), (help_folder + '/en', ACCESS_EN)):
        for page in ('support.html', 'cardreader.html'):
            path = folder + '/' + page
            documents[path] = (flat(from_html(read(path))), access)
    faults = []
    for path, (text, access) in documents.items():
        if flat(access) not in text:
            faults.append('%s: lacks the sentence on device access' % path)
        if not path.endswith('cardreader.html') and statuses not in text:
            faults.append('%s: lacks the exit statuses of recover --help (%s)' % (path, ', '.join(numbers)))
    for fault in faults:
        print(fault)
    if not faults:
        print('%d documents agree on device access and exit statuses %s' % (len(documents), ', '.join(numbers)))
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
