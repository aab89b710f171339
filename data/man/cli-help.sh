#!/bin/sh
# snapsalvager-cli's own help, laid out for help2man: on --help the general usage becomes
# the synopsis and a list of commands, followed by the help of every command it names; on
# --version the program's version. The commands are read from the usage lines, so a new
# command reaches the manual page by itself. SNAPSALVAGER_CLI names the program to ask.
set -eu
cli=${SNAPSALVAGER_CLI:?SNAPSALVAGER_CLI names the snapsalvager-cli to describe}
case "${1:-}" in
  --version) exec "$cli" --version ;;
  --help) ;;
  *) echo "usage: $0 --help | --version" >&2; exit 2 ;;
esac

general=$("$cli" --help)
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
  { inusage = 0; rest[++m] = $0 }
  END {
    for (i = 1; i <= n; i++) printf "%s%s\n", (i == 1 ? "Usage: " : "  or:  "), syn[i]
    print ""
    for (i = 1; i <= m; i++) print rest[i]
    print ""
    print "Commands:"
    for (i = 1; i <= n; i++) if (name[i] != "") printf "  %-10s  %s\n", name[i], what[i]
  }'

commands=$(printf '%s\n' "$general" |
  sed -n 's/^\([Uu]sage:\)\{0,1\}[[:space:]]*snapsalvager-cli[[:space:]]\{1,\}\([a-z][a-z0-9-]*\).*/\2/p' |
  awk '!seen[$0]++')
if [ -z "$commands" ]; then
  echo "$0: no command found in the usage of $cli" >&2
  exit 1
fi

# Each command's own help, indented under its heading so that help2man keeps its layout.
printf '\n*Commands*\n\n'
for command in $commands; do
  printf 'snapsalvager-cli %s:\n' "$command"
  "$cli" "$command" --help | sed 's/^\(.\)/  \1/'
  printf '\n'
done
