#!/usr/bin/env bash
# Builds the Debian package the Debian way, from a copy of the tree (dpkg-buildpackage writes
# beside the source folder): the source package (dpkg-buildpackage -S) and the binary package
# with its tests (plain dpkg-buildpackage -b -us -uc). Unpacks the .deb into a scratch root
# without installing anything and checks what a user would get: the file list, the programs,
# the manual pages, the desktop entry, the AppStream entry, lintian on the .deb, the .dsc and
# the .changes. Then builds the .deb again from another folder, without tests, and requires
# the same bytes.
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
app_id=example.snapsalvager.snapsalvager
metainfo=data/$app_id.metainfo.xml
grep -q "<release version=\"$version\"" "$metainfo" ||
  fail "$metainfo has no release $version"

# Every lintian override says why, in a comment right above it.
for file in debian/*lintian-overrides debian/source/lintian-overrides; do
  [ -f "$file" ] || continue
  awk -v f="$file" '/^[^#[:space:]]/ && previous !~ /^#/ { print f ": override without a reason: " $0; bad = 1 }
                    { if (NF) previous = $0 } END { exit bad }' "$file" || fail "$file"
done

# A fixed folder, so that ccache finds the compilations of the previous run.
work=$top/build/package
source_dir=$work/snapsalvager-$version
root=$work/root
rm -rf "$work"
mkdir -p "$source_dir" "$root"

# copy_tree DIR: the tracked and new files as they are now, without build folders or ignored
# files.
copy_tree() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard |
      tar --null --files-from=- --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$1"
  else
    tar --exclude='./build*' --exclude=./.git -cf - . | tar -xf - -C "$1"
  fi
}
echo "== package: copying the tree" >&2
copy_tree "$source_dir"

echo "== package: dpkg-buildpackage -S (source package)" >&2
(cd "$source_dir" && dpkg-buildpackage -S -us -uc -d) >"$work/source.log" 2>&1 ||
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
  usr/share/applications/example.snapsalvager.snapsalvager.desktop
  usr/share/metainfo/example.snapsalvager.snapsalvager.metainfo.xml
  usr/share/man/man1/snapsalvager.1.gz
  usr/share/man/man1/snapsalvager-cli.1.gz
  usr/share/icons/hicolor/scalable/apps/snapsalvager.svg
  usr/share/doc/snapsalvager/copyright
  usr/share/doc/snapsalvager/changelog.gz
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

echo "== package: a second build from another folder" >&2
# Another path of another length, and no tests: the .deb must come out the same. Without
# ccache, so that no object of the first build stands in for a new compilation.
second=$work/second-build-elsewhere/snapsalvager-$version
mkdir -p "$second"
copy_tree "$second"
(cd "$second" && unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER &&
   DEB_BUILD_OPTIONS="nocheck $DEB_BUILD_OPTIONS" dpkg-buildpackage -b -us -uc) >"$work/build-2.log" 2>&1 ||
  { tail -n 40 "$work/build-2.log" >&2; fail "the second dpkg-buildpackage failed (log: $work/build-2.log)"; }
deb2=$(dirname "$second")/$(basename "$deb")
if ! cmp -s "$deb" "$deb2"; then
  if command -v diffoscope >/dev/null; then diffoscope "$deb" "$deb2" >&2 || true; fi
  fail "the .deb built in $(dirname "$second") differs from the first"
fi

echo "package: $(basename "$deb") passed in $SECONDS s (the same bytes from two folders)" >&2
