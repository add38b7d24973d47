#!/usr/bin/env bash
# Builds the Debian package from the build tree (CPack), unpacks it into a scratch root and
# tries it there as a user would: the files are in place, lintian, desktop-file-validate and
# appstreamcli find no error, the man pages render, tablor-mdb works, and the installed tablor
# under Xvfb shows its main window, keeps server.dat in the user's data folder and opens the
# help from the share folder. Usage: package_test.sh CPACK BUILD_DIR
set -euo pipefail
cpack=$1
build=$2
here="$(cd "$(dirname "$0")" && pwd)"

missing=()
for tool in dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli man file Xvfb xdotool import; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if ((${#missing[@]})); then
  echo "missing tools: ${missing[*]} (scripts/setup installs them)"
  [[ "${CI:-}" == "true" ]] && exit 1
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# 1. The package.
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack did not build the package"; }
debs=("$work"/cpack/tablor_*.deb)
deb=${debs[0]}
[[ -f $deb ]] || fail "cpack made no tablor_*.deb"
echo "package: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libmariadb3 libc6 qt6-qpa-plugins; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib"
done
if grep -Eq -- '-dev\b|gtest|gmock|benchmark|mariadb-server|mdbtools|xvfb|clang' <<<"$depends"; then
  fail "Depends names a build or test tool"
fi

# 2. The files, unpacked into a scratch root.
root=$work/root
dpkg-deb -x "$deb" "$root"
for f in bin/tablor bin/tablor-mdb bin/tablor-copy \
  share/tablor/tablor_help_de.hlp share/tablor/tablor_help_en.hlp \
  share/applications/org.example.tablor.Tablor.desktop share/metainfo/org.example.tablor.Tablor.metainfo.xml \
  share/icons/hicolor/scalable/apps/tablor.svg \
  share/man/man1/tablor.1.gz share/man/man1/tablor-mdb.1.gz share/man/man1/tablor-copy.1.gz \
  share/doc/tablor/copyright share/doc/tablor/changelog.Debian.gz; do
  [[ -s $root/usr/$f ]] || fail "the package lacks /usr/$f"
done
for size in 16 22 24 32 48 64 128 256; do
  icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/tablor.png
  [[ $(file -b "$icon") == "PNG image data, $size x $size,"* ]] || fail "$icon is not a $size x $size PNG"
done
if dpkg-deb -c "$deb" | grep -Eq 'server\.dat|_test|bench'; then fail "the package holds test files or profiles"; fi

# 3. The checkers.
desktop-file-validate "$root/usr/share/applications/org.example.tablor.Tablor.desktop" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.tablor.Tablor.metainfo.xml" || fail "appstreamcli"
lintian --fail-on error --allow-root "$deb" >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian"; }
echo "lintian: $(grep -c '^E:' "$work/lintian.log" || true) errors, $(grep -c '^W:' "$work/lintian.log" || true) warnings"
grep '^[EW]:' "$work/lintian.log" || true

# 4. The command-line programs and their man pages.
"$root/usr/bin/tablor-mdb" --help | grep -q '^Usage: tablor-mdb' || fail "tablor-mdb --help"
"$root/usr/bin/tablor-mdb" create "$work/new.mdb" || fail "tablor-mdb create"
"$root/usr/bin/tablor-mdb" check "$work/new.mdb" >/dev/null || fail "tablor-mdb check of the new file"
"$root/usr/bin/tablor-copy" --help | grep -q '^Usage: tablor-copy' || fail "tablor-copy --help"
for page in tablor tablor-mdb tablor-copy; do
  file=$root/usr/share/man/man1/$page.1.gz
  warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "man page $page: $warnings"
  MANWIDTH=80 man -l "$file" 2>/dev/null | grep -q "^NAME" || fail "man -l $page.1.gz shows no NAME section"
done
MANWIDTH=80 man -l "$root/usr/share/man/man1/tablor-mdb.1.gz" | grep -q 'tablor-mdb - read, check and write' ||
  fail "the tablor-mdb man page does not render its name line"

# 5. The installed program under Xvfb, with a fresh user.
"$here/drive_installed.sh" "$root/usr/bin/tablor" "$work/user" "$build/tests/packaging" || fail "the installed tablor"
echo "package test passed"
