#!/usr/bin/env bash
# Builds the Debian package the Debian way (dpkg-buildpackage, from a copy of the tree, since
# it writes the .deb beside the source folder), unpacks it into a scratch root without
# installing anything, and checks what a user would get: the file list, the programs, the
# manual pages, the desktop entry, the AppStream entry and lintian.
# Usage: scripts/test-package.sh   (everything goes under build/package/)
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
bash scripts/deps.sh

fail() { echo "test-package: $*" >&2; exit 1; }

version=$(dpkg-parsechangelog -l debian/changelog -S Version)
project_version=$(sed -n 's/^project(Snapsalvager VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$version" = "$project_version" ] ||
  fail "debian/changelog says $version, CMakeLists.txt says $project_version"
metainfo=data/example.snapsalvager.Snapsalvager.metainfo.xml
grep -q "<release version=\"$version\"" "$metainfo" ||
  fail "$metainfo has no release $version"

# A fixed folder, so that ccache finds the compilations of the previous run.
work=$top/build/package
source_dir=$work/snapsalvager-$version
root=$work/root
rm -rf "$work"
mkdir -p "$source_dir" "$root"

echo "== package: copying the tree" >&2
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  # Tracked and new files as they are now, without build folders or ignored files.
  git ls-files -z --cached --others --exclude-standard |
    tar --null --files-from=- --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$source_dir"
else
  tar --exclude='./build*' --exclude=./.git -cf - . | tar -xf - -C "$source_dir"
fi

echo "== package: dpkg-buildpackage" >&2
start=$SECONDS
export DEB_BUILD_OPTIONS="nocheck noautodbgsym parallel=2"
if command -v ccache >/dev/null; then
  # debhelper gives the build its own HOME, so the cache is named here.
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)} CCACHE_BASEDIR=$work
fi
(cd "$source_dir" && dpkg-buildpackage -b -us -uc) >"$work/build.log" 2>&1 ||
  { tail -n 40 "$work/build.log" >&2; fail "dpkg-buildpackage failed (log: $work/build.log)"; }
echo "   built in $((SECONDS - start)) s" >&2

deb=$work/snapsalvager_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb
[ -f "$deb" ] || fail "no $deb"
dpkg-deb -x "$deb" "$root"

echo "== package: file list" >&2
icons=(16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256)
expected=(
  usr/bin/snapsalvager
  usr/bin/snapsalvager-cli
  usr/share/applications/example.snapsalvager.Snapsalvager.desktop
  usr/share/metainfo/example.snapsalvager.Snapsalvager.metainfo.xml
  usr/share/man/man1/snapsalvager.1.gz
  usr/share/man/man1/snapsalvager-cli.1.gz
  usr/share/doc/snapsalvager/copyright
  usr/share/doc/snapsalvager/changelog.gz
  usr/share/snapsalvager/help/index.html
  usr/share/snapsalvager/help/postprocess.html
  usr/share/snapsalvager/help/update.html
  usr/share/lintian/overrides/snapsalvager
)
for size in "${icons[@]}"; do expected+=("usr/share/icons/hicolor/$size/apps/snapsalvager.png"); done
for file in "${expected[@]}"; do
  [ -f "$root/$file" ] || fail "the package lacks /$file"
done
# Nothing else: no tests, benchmarks, developer tools, libraries or headers. The help pages
# have their own folder; the documents beside the copyright are the docs/ pages.
unexpected=$(cd "$root" && find . -type f -printf '%P\n' | sort | while read -r file; do
  case " ${expected[*]} " in *" $file "*) continue ;; esac
  case "$file" in
    usr/share/snapsalvager/help/*) ;;
    usr/share/doc/snapsalvager/*.md | usr/share/doc/snapsalvager/*.md.gz) ;;
    *) echo "$file" ;;
  esac
done)
[ -z "$unexpected" ] || fail "unexpected files in the package: $unexpected"
for program in snapsalvager snapsalvager-cli; do
  [ -x "$root/usr/bin/$program" ] || fail "/usr/bin/$program is not executable"
done

echo "== package: the programs" >&2
got=$("$root/usr/bin/snapsalvager-cli" --version)
[ "$got" = "snapsalvager-cli $version" ] || fail "snapsalvager-cli --version says '$got'"
got=$(QT_QPA_PLATFORM=xcb DISPLAY= WAYLAND_DISPLAY= "$root/usr/bin/snapsalvager" --version)
[ "$got" = "snapsalvager $version" ] || fail "snapsalvager --version says '$got'"
# The packaged command reads a photo: its EXIF tags and summary line.
photo=fuzz/exif/camera_mm_exif_first.jpg
summary=$("$root/usr/bin/snapsalvager-cli" exif "$photo") || fail "snapsalvager-cli exif $photo failed"
grep -q '^Summary: Shoot Time: ' <<<"$summary" || fail "snapsalvager-cli exif gave no summary: $summary"

echo "== package: manual pages" >&2
for page in snapsalvager snapsalvager-cli; do
  file=$root/usr/share/man/man1/$page.1.gz
  # --warnings makes groff report what it cannot lay out; a clean page prints nothing there.
  text=$(MANWIDTH=80 man --warnings -l "$file" 2>"$work/man-$page.err")
  [ ! -s "$work/man-$page.err" ] || { cat "$work/man-$page.err" >&2; fail "man -l $page warns"; }
  for section in NAME SYNOPSIS DESCRIPTION "SEE ALSO"; do
    grep -q "^$section" <<<"$text" || fail "$page(1) has no $section"
  done
  grep -q "$version" <<<"$text" || fail "$page(1) does not name version $version"
done
cli_text=$(MANWIDTH=200 man -l "$root/usr/share/man/man1/snapsalvager-cli.1.gz")
grep -q "^EXIT STATUS" <<<"$cli_text" || fail "snapsalvager-cli(1) has no EXIT STATUS"
# Every command the program's usage names has its own part of the page, with its options.
commands=$(SNAPSALVAGER_CLI=$root/usr/bin/snapsalvager-cli sh data/man/cli-help.sh --commands)
[ -n "$commands" ] || fail "snapsalvager-cli --help names no command"
for command in $commands; do
  grep -q "^   snapsalvager-cli $command\$" <<<"$cli_text" ||
    fail "snapsalvager-cli(1) has no part for the command $command"
  for option in $("$root/usr/bin/snapsalvager-cli" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$cli_text" || fail "snapsalvager-cli(1) lacks $command $option"
  done
done

echo "== package: desktop entry and AppStream" >&2
desktop-file-validate "$root/usr/share/applications/example.snapsalvager.Snapsalvager.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/example.snapsalvager.Snapsalvager.metainfo.xml"
grep -q '^Icon=snapsalvager$' "$root/usr/share/applications/example.snapsalvager.Snapsalvager.desktop" ||
  fail "the desktop entry names another icon"

echo "== package: lintian" >&2
# Errors and warnings fail; the package's override file gives the reason of each one left.
lintian --fail-on error,warning --display-info "$work"/*.changes ||
  fail "lintian reports errors or warnings"

echo "package: $(basename "$deb") passed in $SECONDS s" >&2
