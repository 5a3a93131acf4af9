#!/usr/bin/env bash
# Builds the Debian package from the install rules (with Debian's build flags alone, as a
# Debian build does: -O2 and hardening), checks it with lintian and its AppStream metainfo
# with appstreamcli, compares its contents with the list below, then unpacks it into a
# temporary root (dpkg -x) and runs the programs from there: tsugihagi-cli --version, its
# --help in Japanese and a short chat, and the window through its launcher on the offscreen
# platform, ended by SIGTERM, which must save. Every manual page must pass man --warnings.
#
# Usage: scripts/test-package.sh     build dir: build-package (override: BUILD_DIR=...)
# Needs: dpkg-dev, lintian, appstream, man-db, the locale ja_JP.UTF-8, and what the build
# needs.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build-package}
jobs=${JOBS:-2}
version=$(sed -n 's/^project(tsugihagi VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

step() { printf '\n== %s\n' "$*"; }
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

step "build with Debian's build flags ($build)"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None \
  -DTSUGIHAGI_TESTS=OFF -DTSUGIHAGI_BENCH=OFF -DTSUGIHAGI_FUZZ=OFF -DTSUGIHAGI_WERROR=ON >/dev/null
ninja -C "$build" -j"$jobs"

step "package"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tsugihagi_"$version"_*.deb)
library_debs=()
for package in libtsugihagi0 libtsugihagi-dev python3-tsugihagi; do
  library_debs+=("$(ls "$build"/"$package"_"$version"_*.deb)") || fail "no package $package"
done
dpkg-deb --field "$deb"

step "contents"
tmp=$(mktemp -d)
window_pid=
cleanup() {
  [ -z "$window_pid" ] || kill "$window_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
dpkg -x "$deb" "$tmp/root"
expected="usr/bin/tsugihagi
usr/bin/tsugihagi-cli
usr/bin/tsugihagi-launcher
usr/share/applications/tsugihagi.desktop
usr/share/doc/tsugihagi/changelog.gz
usr/share/doc/tsugihagi/copyright
usr/share/icons/hicolor/128x128/apps/tsugihagi.png
usr/share/icons/hicolor/16x16/apps/tsugihagi.png
usr/share/icons/hicolor/256x256/apps/tsugihagi.png
usr/share/icons/hicolor/32x32/apps/tsugihagi.png
usr/share/icons/hicolor/48x48/apps/tsugihagi.png
usr/share/icons/hicolor/64x64/apps/tsugihagi.png
usr/share/locale/ja/LC_MESSAGES/tsugihagi.mo
usr/share/man/ja/man1/tsugihagi-cli.1.gz
usr/share/man/ja/man1/tsugihagi.1.gz
usr/share/man/man1/tsugihagi-cli.1.gz
usr/share/man/man1/tsugihagi-launcher.1.gz
usr/share/man/man1/tsugihagi.1.gz
usr/share/metainfo/org.tsugihagi.tsugihagi.metainfo.xml"
actual=$(cd "$tmp/root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
diff <(echo "$expected" | LC_ALL=C sort) <(echo "$actual") || fail "the package's files differ from the list"
for size in 16 32 48 64 128 256; do
  identify -format '%wx%h' "$tmp/root/usr/share/icons/hicolor/${size}x$size/apps/tsugihagi.png" |
    grep -qx "${size}x$size" || fail "the ${size} px icon has another size"
done
dpkg-deb --field "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends lacks the Qt libraries"
dpkg-deb --field "$deb" Recommends | grep -qx 'fonts-vlgothic' || fail "Recommends is not fonts-vlgothic"
grep -q '<name xml:lang="ja">' "$tmp/root/usr/share/metainfo/org.tsugihagi.tsugihagi.metainfo.xml" ||
  fail "the metainfo lost its Japanese name"
grep -q '^Name\[ja\]=' "$tmp/root/usr/share/applications/tsugihagi.desktop" ||
  fail "the desktop entry lost its Japanese name"
echo "the package holds the expected files"

step "manual pages: man --warnings"
# Every page, the Japanese ones in a Japanese locale, formats without a warning.
while IFS= read -r page; do
  case $page in */man/ja/*) lang=ja_JP.UTF-8 ;; *) lang=C.UTF-8 ;; esac
  # From the page's man folder, where a .so request (tsugihagi-launcher.1) finds its page.
  warnings=$(cd "$(dirname "$page")/.." &&
    LC_ALL=$lang MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page: $warnings"
  echo "${page#"$tmp/root/"}: no warning"
done < <(find "$tmp/root/usr/share/man" -name '*.gz' | LC_ALL=C sort)

step "the library's packages"
for package_deb in "${library_debs[@]}"; do
  package=$(dpkg-deb --field "$package_deb" Package)
  dpkg-deb --field "$package_deb" Package Section Depends
  dpkg -x "$package_deb" "$tmp/$package"
  files=$(cd "$tmp/$package" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
  echo "$files"
  grep -qx "usr/share/doc/$package/copyright" <<<"$files" || fail "$package has no copyright file"
done
[ -f "$tmp/libtsugihagi0/usr/share/locale/ja/LC_MESSAGES/libtsugihagi0.mo" ] ||
  fail "libtsugihagi0 lacks its Japanese catalogue"
grep -q 'usr/lib/.*libtsugihagi.so.0$' <<<"$(cd "$tmp/libtsugihagi0" && find . -name '*.so.0')" ||
  fail "libtsugihagi0 lacks libtsugihagi.so.0"
dpkg-deb --ctrl-tarfile "${library_debs[0]}" | tar -t | grep -q shlibs || fail "libtsugihagi0 has no shlibs file"
[ -f "$(find "$tmp/libtsugihagi-dev" -name tsugihagi.pc)" ] || fail "libtsugihagi-dev lacks tsugihagi.pc"
[ -f "$(find "$tmp/libtsugihagi-dev" -name tsugihagi-config.cmake)" ] || fail "no CMake package"
[ -n "$(find "$tmp/python3-tsugihagi" -name 'tsugihagi*.so')" ] || fail "python3-tsugihagi lacks the module"
echo "Python module from the unpacked packages:"
PYTHONPATH=$(dirname "$(find "$tmp/python3-tsugihagi" -name 'tsugihagi*.so')") \
  LD_LIBRARY_PATH=$(dirname "$(find "$tmp/libtsugihagi0" -name 'libtsugihagi.so.0')") \
  python3 -c 'import tsugihagi; print("tsugihagi", tsugihagi.__version__)' || fail "import tsugihagi"
echo "the library's message in Japanese, from the catalogue unpacked beside it:"
PYTHONPATH=$(dirname "$(find "$tmp/python3-tsugihagi" -name 'tsugihagi*.so')") \
  LD_LIBRARY_PATH=$(dirname "$(find "$tmp/libtsugihagi0" -name 'libtsugihagi.so.0')") \
  python3 -c '
import locale, tsugihagi
locale.setlocale(locale.LC_ALL, "ja_JP.UTF-8")
try:
    tsugihagi.Bot("/nonexistent-folder")
except ValueError as e:
    print(e)
    assert "そのようなフォルダーはありません" in str(e), str(e)
' || fail "the library's message is not in Japanese"

step "appstreamcli validate"
appstreamcli validate --no-net "$tmp/root/usr/share/metainfo/org.tsugihagi.tsugihagi.metainfo.xml"

step "lintian"
# Errors fail the step; the warnings left are listed for the record.
lintian --fail-on error --display-info "$deb" "${library_debs[@]}"

step "unpacked tsugihagi-cli --version"
cli="$tmp/root/usr/bin/tsugihagi-cli"
shown=$("$cli" --version) || fail "tsugihagi-cli --version exited with $?"
[ "$shown" = "tsugihagi-cli $version" ] || fail "tsugihagi-cli --version printed \"$shown\""
echo "$shown"

step "the unpacked tsugihagi-cli in Japanese"
# The catalogue is found beside the program (usr/share/locale for usr/bin), wherever unpacked.
shown=$(LC_ALL= LANGUAGE= LANG=ja_JP.UTF-8 "$cli" --help) || fail "--help exited with $?"
grep -q '^使い方: tsugihagi-cli \[オプション\]$' <<<"$shown" || fail "--help is not in Japanese: $shown"
echo "$shown" | head -8

step "a short chat with the unpacked tsugihagi-cli"
work="$tmp/chat"
mkdir -p "$work/data"
for name in dic.data hdid.data idiom_hdid.data idiomdic.data log.data; do : >"$work/data/$name"; done
answers=$(printf '%s\n' 'こんにちは、つぎはぎです' '今日はいい天気ですね' 'いい天気なので散歩します' |
  timeout 60 "$cli" --dir "$work" --seed 7) || fail "the chat exited with $?"
echo "$answers"
[ "$(grep -c . <<<"$answers")" -ge 3 ] || fail "fewer than three answers"
[ -s "$work/data/log.data" ] && [ -s "$work/data/dic.data" ] || fail "the chat saved nothing"
[ -s "$work/log.txt" ] || fail "no transcript"

step "the unpacked window through its launcher, ended by SIGTERM"
export XDG_DATA_HOME="$tmp/xdg"
folder="$XDG_DATA_HOME/tsugihagi"
QT_QPA_PLATFORM=offscreen "$tmp/root/usr/bin/tsugihagi-launcher" &
window_pid=$!
for _ in $(seq 200); do
  [ -e "$folder/log.txt" ] && break
  kill -0 "$window_pid" 2>/dev/null || break
  sleep 0.1
done
[ -e "$folder/log.txt" ] || fail "the window did not start in $folder"
touch -d '2000-01-01' "$folder"/data/*.data
kill -TERM "$window_pid"
status=0
wait "$window_pid" || status=$?
window_pid=
[ "$status" -eq 0 ] || fail "the window ended with $status on SIGTERM"
[ "$(od -An -tx1 "$folder/config" | tr -d ' ')" = 01 ] || fail "config was not written"
[ -z "$(find "$folder/data" -name '*.data' ! -newer "$folder/log.txt")" ] ||
  fail "the data files were not saved on SIGTERM"
echo "the window saved and ended with 0"
echo
echo "Package checks passed: $(basename "$deb")"
