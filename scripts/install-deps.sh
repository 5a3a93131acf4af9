#!/usr/bin/env bash
# Installs what building and running (run) or testing (test) needs on Debian 12, as root.
# Skips apt when everything is there already.
set -euo pipefail

run_packages=(g++ cmake ninja-build libboost-dev qt6-base-dev fonts-vlgothic)
run_packages+=(libcli11-dev libedit-dev nlohmann-json3-dev)  # tsugihagi-cli
run_packages+=(gettext)  # the Japanese catalogues (msgfmt, xgettext, msgmerge, msggrep)
test_packages=("${run_packages[@]}" libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
  xvfb xauth xdotool openbox g++-mingw-w64-x86-64-posix wine wine64 fonts-wine locales imagemagick
  dpkg-dev lintian appstream man-db pybind11-dev python3-dev python3-pytest pkgconf)

case "${1:-run}" in
  run) wanted=("${run_packages[@]}") ;;
  test) wanted=("${test_packages[@]}") ;;
  *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The tests run the terminal program in Japanese: the locale must exist.
if [ "${1:-run}" = test ] && ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO sed -i 's/^# *\(ja_JP\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP\.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen
fi
