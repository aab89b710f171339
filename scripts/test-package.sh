#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Builds the Debian package the Debian way, from the upstream tarball that
# scripts/make-orig-tarball.sh makes of HEAD (of the uncommitted changes to tracked files, when
# there are some) and the debian/ folder of the same commit: the source package
# (dpkg-buildpackage -S, format 3.0 (quilt)) and the binary package with its tests (plain
# dpkg-buildpackage -b -us -uc). Unpacks the .deb into a scratch root without installing
# anything and checks what a user would get: the file list, the programs, the manual pages and
# the files they point to, the desktop entry, the AppStream entry, the autopkgtest's recovery
# with the unpacked program, lintian on the .deb, the .dsc and the .changes.
# scripts/test-package-same-bytes.sh then builds the .deb again elsewhere (the same bytes).
# Usage: scripts/test-package.sh   (everything goes under build/package/)
#   SNAPSALVAGER_TEST_INSTALL=1 also installs the package, runs its autopkgtest against the
#   installed program and purges it again, leaving no file behind (changes the machine).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
bash scripts/deps.sh

fail() { echo "test-package: $*" >&2; exit 1; }

git rev-parse --is-inside-work-tree >/dev/null 2>&1 ||
  fail "the package is built from the git repository's commit (scripts/make-orig-tarball.sh)"
# The package's version is the upstream version and a Debian revision.
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
upstream_version=${version%-*}
[ "$upstream_version" != "$version" ] || fail "debian/changelog's version $version has no Debian revision"
project_version=$(sed -n 's/^project(Snapsalvager VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$upstream_version" = "$project_version" ] ||
  fail "debian/changelog says $version, CMakeLists.txt says $project_version"
[ "$(cat debian/source/format)" = "3.0 (quilt)" ] || fail "debian/source/format is not 3.0 (quilt)"
app_id=example.snapsalvager.snapsalvager
metainfo=data/$app_id.metainfo.xml
grep -q "<release version=\"$upstream_version\"" "$metainfo" ||
  fail "$metainfo has no release $upstream_version"

# Every lintian override says why, in a comment right above it.
for file in debian/*lintian-overrides debian/source/lintian-overrides; do
  [ -f "$file" ] || continue
  awk -v f="$file" '/^[^#[:space:]]/ && previous !~ /^#/ { print f ": override without a reason: " $0; bad = 1 }
                    { if (NF) previous = $0 } END { exit bad }' "$file" || fail "$file"
done

# A fixed folder, so that ccache finds the compilations of the previous run.
work=$top/build/package
source_dir=$work/snapsalvager-$upstream_version
root=$work/root
rm -rf "$work"
mkdir -p "$root"

# The commit to build: HEAD, or a commit of the tracked files as they are now (git stash create
# stores one without touching the tree or the stash list). New files not yet added are not in it.
commit=$(git stash create "test-package: uncommitted changes")
if [ -n "$commit" ]; then
  echo "== package: building the uncommitted changes to tracked files ($commit)" >&2
else
  commit=$(git rev-parse HEAD)
fi
untracked=$(git ls-files --others --exclude-standard)
[ -z "$untracked" ] || echo "test-package: not in the package, since not added to git: $untracked" >&2

echo "== package: the upstream tarball and debian/" >&2
orig=$(scripts/make-orig-tarball.sh "$work" "$commit")
[ "$(basename "$orig")" = "snapsalvager_$upstream_version.orig.tar.xz" ] || fail "the tarball is $orig"
tar -tJf "$orig" | grep -q "^snapsalvager-$upstream_version/debian/" && fail "the upstream tarball holds debian/"
tar -xJf "$orig" -C "$work"
git archive "$commit" debian | tar -xf - -C "$source_dir"

echo "== package: dpkg-buildpackage -S (source package)" >&2
(cd "$source_dir" && dpkg-buildpackage -S -sa -us -uc -d) >"$work/source.log" 2>&1 ||
  { tail -n 40 "$work/source.log" >&2; fail "dpkg-buildpackage -S failed (log: $work/source.log)"; }

echo "== package: dpkg-buildpackage -b -us -uc (with the tests)" >&2
start=$SECONDS
export DEB_BUILD_OPTIONS="noautodbgsym parallel=$(nproc)"
if command -v ccache >/dev/null; then
  # debhelper gives the build its own HOME, so the cache is named here. No CCACHE_BASEDIR:
  # it would compile with relative paths, and the debug information (so the build ID) of the
  # programs would differ from a build without ccache.
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)}
  unset CCACHE_BASEDIR
fi
(cd "$source_dir" && dpkg-buildpackage -b -us -uc) >"$work/build.log" 2>&1 ||
  { tail -n 60 "$work/build.log" >&2; fail "dpkg-buildpackage failed (log: $work/build.log)"; }
grep -E '^[0-9]+% tests passed' "$work/build.log" >&2 || fail "dh_auto_test ran no tests (log: $work/build.log)"
echo "   built and tested in $((SECONDS - start)) s" >&2

arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb=$work/snapsalvager_${version}_$arch.deb
[ -f "$deb" ] || fail "no $deb"
dpkg-deb -x "$deb" "$root"

echo "== package: file list" >&2
icons=(16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256)
expected=(
  usr/bin/snapsalvager
  usr/bin/snapsalvager-cli
  usr/bin/snapsalvager-decode
  usr/share/applications/example.snapsalvager.snapsalvager.desktop
  usr/share/metainfo/example.snapsalvager.snapsalvager.metainfo.xml
  usr/share/man/man1/snapsalvager.1.gz
  usr/share/man/man1/snapsalvager-cli.1.gz
  usr/share/icons/hicolor/scalable/apps/snapsalvager.svg
  usr/share/doc/snapsalvager/copyright
  usr/share/doc/snapsalvager/changelog.Debian.gz
  usr/share/doc/snapsalvager/changelog.gz
  usr/share/doc/snapsalvager/drive-letters.md.gz
  usr/share/snapsalvager/help/index.html
  usr/share/snapsalvager/help/postprocess.html
  usr/share/snapsalvager/help/update.html
  usr/share/snapsalvager/help/en/index.html
  usr/share/snapsalvager/help/en/postprocess.html
  usr/share/snapsalvager/help/en/update.html
  usr/share/lintian/overrides/snapsalvager
)
for size in "${icons[@]}"; do expected+=("usr/share/icons/hicolor/$size/apps/snapsalvager.png"); done
for file in "${expected[@]}"; do
  [ -f "$root/$file" ] || fail "the package lacks /$file"
done
# Nothing else: no tests, benchmarks, developer tools, libraries or headers. The help pages
# have their own folder (the English ones in its en/); the documents beside the copyright are the docs/ pages.
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
[ "$got" = "snapsalvager-cli $upstream_version" ] || fail "snapsalvager-cli --version says '$got'"
got=$(QT_QPA_PLATFORM=xcb DISPLAY= WAYLAND_DISPLAY= "$root/usr/bin/snapsalvager" --version)
[ "$got" = "snapsalvager $upstream_version" ] || fail "snapsalvager --version says '$got'"
# The packaged command reads a photo: its EXIF tags and summary line.
photo=fuzz/exif/camera_mm_exif_first.jpg
# The label follows the language; both are asked for so the result does not hang on the locale.
summary=$("$root/usr/bin/snapsalvager-cli" --lang en exif "$photo") || fail "snapsalvager-cli exif $photo failed"
grep -q '^Summary: Shoot Time: ' <<<"$summary" || fail "snapsalvager-cli exif gave no English summary: $summary"
summary=$("$root/usr/bin/snapsalvager-cli" --lang zh exif "$photo") || fail "snapsalvager-cli exif $photo failed"
grep -q '^摘要：Shoot Time: ' <<<"$summary" || fail "snapsalvager-cli exif gave no Chinese summary: $summary"

echo "== package: manual pages" >&2
for page in snapsalvager snapsalvager-cli; do
  file=$root/usr/share/man/man1/$page.1.gz
  # --warnings makes groff report what it cannot lay out; a clean page prints nothing there.
  text=$(MANWIDTH=80 man --warnings -l "$file" 2>"$work/man-$page.err")
  [ ! -s "$work/man-$page.err" ] || { cat "$work/man-$page.err" >&2; fail "man -l $page warns"; }
  for section in NAME SYNOPSIS DESCRIPTION "SEE ALSO"; do
    grep -q "^$section" <<<"$text" || fail "$page(1) has no $section"
  done
  grep -q "$upstream_version" <<<"$text" || fail "$page(1) does not name version $upstream_version"
  # Every installed file the page points to is in the package (a document compressed by
  # dh_compress is named with its .gz).
  for path in $(MANWIDTH=1000 man -l "$file" | grep -o '/usr/share/[A-Za-z0-9_./-]*[A-Za-z0-9_/]' | sort -u); do
    [ -e "$root$path" ] || fail "$page(1) names $path, which the package does not have"
  done
done
# The upstream changelog is NEWS, which begins with this version.
zcat "$root/usr/share/doc/snapsalvager/changelog.gz" | grep -q "^$upstream_version (" ||
  fail "/usr/share/doc/snapsalvager/changelog.gz (NEWS) has no entry for $upstream_version"
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
desktop=$root/usr/share/applications/$app_id.desktop
desktop-file-validate "$desktop"
# The only remark left is that the validator does not know the vendor site's top-level domain.
remarks=$(appstreamcli validate --pedantic --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml") ||
  fail "appstreamcli validate --pedantic fails: $remarks"
remarks=$(grep -v -e '^I: .* cid-maybe-not-rdns ' -e '^$' -e '^✔ Validation was successful' <<<"$remarks" || true)
[ -z "$remarks" ] || fail "appstreamcli validate --pedantic has remarks: $remarks"
appstream-util validate "$root/usr/share/metainfo/$app_id.metainfo.xml" >/dev/null ||
  fail "appstream-util validate fails"
grep -q '^Icon=snapsalvager$' "$desktop" || fail "the desktop entry names another icon"

echo "== package: the autopkgtest, with the unpacked program" >&2
# debian/tests/control's tests, run as autopkgtest would (from the source folder, with a
# scratch folder) but against the unpacked snapsalvager-cli: nothing is installed here.
tests=$(sed -n 's/^Tests:[[:space:]]*//p' "$source_dir/debian/tests/control")
[ -n "$tests" ] || fail "debian/tests/control names no test"
for test in $tests; do
  scratch=$work/autopkgtest-$test
  mkdir -p "$scratch"
  (cd "$source_dir" && AUTOPKGTEST_TMP=$scratch SNAPSALVAGER_CLI=$root/usr/bin/snapsalvager-cli \
     "debian/tests/$test") >"$work/autopkgtest-$test.log" 2>&1 ||
    { cat "$work/autopkgtest-$test.log" >&2; fail "the autopkgtest $test failed"; }
  tail -n 1 "$work/autopkgtest-$test.log" >&2
done

echo "== package: the wizard's binary" >&2
# No RUNPATH: the wizard links only system libraries. No build folder in it: the same source
# gives the same program wherever it is built.
if readelf -d "$root/usr/bin/snapsalvager" | grep -E 'RUNPATH|RPATH'; then fail "/usr/bin/snapsalvager has a RUNPATH"; fi
for program in snapsalvager snapsalvager-cli; do
  if grep -q -a -F "$work" "$root/usr/bin/$program"; then fail "/usr/bin/$program holds the build folder's path"; fi
done

echo "== package: lintian" >&2
# Errors and warnings fail; an override file gives the reason of each one left.
for changes in "$work"/snapsalvager_"${version}"_"$arch".changes "$work"/snapsalvager_"${version}"_source.changes; do
  lintian --pedantic --fail-on error,warning "$changes" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log" >&2; fail "lintian reports errors or warnings on $(basename "$changes")"; }
  if grep -E '^[EW]: ' "$work/lintian.log"; then fail "lintian warns on $(basename "$changes")"; fi
done
lintian --pedantic --fail-on error,warning "$work/snapsalvager_${version}.dsc" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log" >&2; fail "lintian reports errors or warnings on the .dsc"; }
if grep -E '^[EW]: ' "$work/lintian.log"; then fail "lintian warns on the .dsc"; fi

# Installing changes the machine, so only when asked (a fresh CI machine, a scratch VM): the
# package is installed with dpkg, its autopkgtest run against the installed program, then it
# is purged, and no file may be left or missing. Caches that triggers rebuild for every
# package (icons, manual pages) and dpkg's and apt's own records are not compared.
if [ "${SNAPSALVAGER_TEST_INSTALL:-0}" = 1 ]; then
  echo "== package: install, autopkgtest, purge" >&2
  if dpkg-query -W -f='${Status}' snapsalvager 2>/dev/null | grep -q 'installed'; then
    fail "snapsalvager is installed already: the purge check needs a machine without it"
  fi
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  snapshot() {
    find /etc /usr /opt /var -xdev \( -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/cache \
      -o -path /var/log -o -path /var/tmp -o -path /usr/share/icons/hicolor/icon-theme.cache \
      -o -path /usr/share/applications/mimeinfo.cache \) -prune \
      -o -print 2>/dev/null | sort
  }
  snapshot >"$work/before-install.txt"
  $SUDO dpkg -i "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "dpkg -i failed"; }
  for test in $tests; do
    mkdir -p "$work/installed-$test"
    (cd "$source_dir" && AUTOPKGTEST_TMP=$work/installed-$test "debian/tests/$test") >"$work/installed-$test.log" 2>&1 ||
      { cat "$work/installed-$test.log" >&2; $SUDO dpkg --purge snapsalvager >/dev/null 2>&1 || true
        fail "the autopkgtest $test failed with the installed package"; }
  done
  $SUDO dpkg --purge snapsalvager >"$work/purge.log" 2>&1 || { cat "$work/purge.log" >&2; fail "dpkg --purge failed"; }
  snapshot >"$work/after-purge.txt"
  if ! diff -u "$work/before-install.txt" "$work/after-purge.txt" >"$work/purge.diff"; then
    cat "$work/purge.diff" >&2
    fail "the purge left files behind or took others"
  fi
fi

echo "package: $(basename "$deb") passed in $SECONDS s" >&2
