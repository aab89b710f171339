#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# snapsalvager-cli's own help, laid out for help2man: on --help the general usage becomes
# the synopsis and a list of commands, followed by the help of every command it names; on
# --version the program's version; on --commands the command names, one a line. The
# commands are read from the general help, so a new command reaches the manual page by
# itself. SNAPSALVAGER_CLI names the program to ask.
set -eu
cli=${SNAPSALVAGER_CLI:?SNAPSALVAGER_CLI names the snapsalvager-cli to describe}
# The page is the same whatever the builder's locale: the English texts, which help2man reads.
export SNAPSALVAGER_LANG=en

# A command is the word after "snapsalvager-cli" on a usage line, or the first word of an
# indented line under a "commands:" heading.
list_commands() {
  printf '%s\n' "$1" | awk '
    /^[Cc]ommands:[ \t]*$/ { incommands = 1; next }
    incommands && /^[ \t]+[a-z]/ { print $1; next }
    { incommands = 0 }
    /^([Uu]sage:)?[ \t]*snapsalvager-cli[ \t]+[a-z]/ {
      sub(/^([Uu]sage:)?[ \t]*snapsalvager-cli[ \t]+/, ""); sub(/[^a-z0-9-].*$/, ""); print
    }' | awk '!seen[$0]++'
}

general=$("$cli" --help)
case "${1:-}" in
  --version) exec "$cli" --version ;;
  --commands) list_commands "$general"; exit 0 ;;
  --help) ;;
  *) echo "usage: $0 --help | --version | --commands" >&2; exit 2 ;;
esac

# The usage block is "usage: snapsalvager-cli ..." and the indented "snapsalvager-cli ..."
# lines under it; three spaces or more part a synopsis from its description.
printf '%s\n' "$general" | awk '
  function add(line,   words) {
    syn[++n] = line; what[n] = ""; name[n] = ""
    if (match(line, /   +/)) {
      what[n] = substr(line, RSTART + RLENGTH); syn[n] = substr(line, 1, RSTART - 1)
    }
    split(syn[n], words, " ")
    if (words[2] !~ /^-/) name[n] = words[2]
  }
  /^[Uu]sage:/ { inusage = 1; sub(/^[Uu]sage:[ \t]*/, ""); add($0); next }
  inusage && /^[ \t]+snapsalvager-cli[ \t]/ { sub(/^[ \t]+/, ""); add($0); next }
  { inusage = 0; rest[++m] = $0; if ($0 ~ /^[Cc]ommands:/) listed = 1 }
  END {
    for (i = 1; i <= n; i++) printf "%s%s\n", (i == 1 ? "Usage: " : "  or:  "), syn[i]
    print ""
    for (i = 1; i <= m; i++) print rest[i]
    # The one-line descriptions of the usage lines, unless the help lists the commands itself.
    for (i = 1; i <= n; i++) if (name[i] != "" && what[i] != "") described++
    if (listed || !described) exit
    print ""
    print "Commands:"
    for (i = 1; i <= n; i++) if (name[i] != "" && what[i] != "") printf "  %-10s  %s\n", name[i], what[i]
  }'

commands=$(list_commands "$general")
if [ -z "$commands" ]; then
  echo "$0: no command found in the usage of $cli" >&2
  exit 1
fi

# Each command's own help under its heading, laid out for help2man: an indented line is an
# item of a list (an option, an exit status, SOURCE) and a line at the left margin a paragraph; the
# headings "options:" and "exit status:" would become stray paragraphs inside the list, so the
# options stand without one and each exit status names itself ("exit status 2"). An option
# parted from its text by one space gets the two that help2man needs.
printf '\n*Commands*\n\n'
for command in $commands; do
  printf 'snapsalvager-cli %s:\n' "$command"
  "$cli" "$command" --help | awk '
    /^[Oo]ptions:[ \t]*$/ { next }
    /^[Ee]xit status:[ \t]*$/ { exits = 1; print ""; next }
    exits && /^[ \t]+[0-9]+[ \t]/ { code = $1; sub(/^[ \t]+[0-9]+[ \t]+/, ""); print "  exit status " code "  " $0; next }
    { exits = 0 }
    /^[Ee]xit status/ && previous != "" { print "" }
    match($0, /^[ \t]+--[a-z-]+ [a-z]/) { $0 = substr($0, 1, RLENGTH - 1) " " substr($0, RLENGTH) }
    # The usage line and the lines of a list of words (SOURCE, DEST) are indented, so that
    # help2man keeps them apart under the heading.
    words && /^ +[^ ]/ { $0 = "  " $0; print; next }
    { words = 0 }
    /^[A-Z]+   / { words = 1 }
    /^[Uu]sage:/ || words { $0 = "  " $0 }
    { print; previous = $0 }'
  printf '\n'
done
