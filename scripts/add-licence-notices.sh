#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Gives every C++ source and header, CMake file, shell and Python script of the project the
# two-line licence notice at its top, after a "#!" line if it has one:
#
#   // SPDX-License-Identifier: GPL-3.0-or-later       (# in CMake, shell and Python)
#   // Copyright 2026 The Snapsalvager developers
#
# GPL-3.0-or-later is COPYING's licence, "The Snapsalvager developers" the holder
# debian/copyright names. A file that already names an SPDX licence in its first lines is left
# as it is, so the script may be run again at any time. Build folders, the fuzzers' inputs and
# the CI hook (.ci/) are not touched; debian/ is covered by debian/copyright.
#
# Usage: scripts/add-licence-notices.sh [--check] [FOLDER]   (FOLDER: the project's root)
#   --check  changes nothing: lists the files without the notice, exit status 1 if any.
set -euo pipefail
check=false
if [ "${1:-}" = "--check" ]; then check=true; shift; fi
cd "${1:-$(dirname "$0")/..}"

licence=GPL-3.0-or-later
holder="2026 The Snapsalvager developers"

# The project's files: git's list in a repository, else every file outside build folders.
list_files() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1 && [ "$(git rev-parse --show-toplevel)" = "$PWD" ]; then
    git ls-files
  else
    find . -path ./.git -prune -o -path './build*' -prune -o -type f -print | sed 's|^\./||' | sort
  fi
}

# comment_of FILE: the comment mark of a file the notice is for, nothing for any other file.
comment_of() {
  case "$1" in
    .ci/* | debian/* | build*/* | fuzz/*/*) return ;;
    *.cpp | *.h | *.hpp | *.cc) echo '//' ;;
    *CMakeLists.txt | *.cmake | *.sh | *.py) echo '#' ;;
    *.*) ;;
    *)
      # Scripts without an extension, known by their "#!" line.
      case "$(head -c 64 "$1" | tr -d '\0' | head -n 1)" in
        '#!'*sh | '#!'*python3) echo '#' ;;
      esac
      ;;
  esac
}

missing=0
while IFS= read -r file; do
  [ -f "$file" ] || continue
  mark=$(comment_of "$file")
  [ -n "$mark" ] || continue
  if head -n 5 "$file" | grep -qE '^(//|#) SPDX-License-Identifier: [A-Za-z0-9.+-]+'; then continue; fi
  missing=$((missing + 1))
  if $check; then
    echo "$file"
    continue
  fi
  notice="$mark SPDX-License-Identifier: $licence
$mark Copyright $holder"
  {
    if head -n 1 "$file" | grep -q '^#!'; then
      head -n 1 "$file"
      printf '%s\n' "$notice"
      tail -n +2 "$file"
    else
      printf '%s\n' "$notice"
      cat "$file"
    fi
  } >"$file.notice"
  chmod --reference="$file" "$file.notice"
  mv "$file.notice" "$file"
done < <(list_files)

if $check; then
  [ "$missing" -eq 0 ] || { echo "$missing file(s) without the licence notice (scripts/add-licence-notices.sh adds it)" >&2; exit 1; }
  echo "every C++, CMake, shell and Python file carries the licence notice" >&2
else
  echo "licence notice added to $missing file(s)" >&2
fi
