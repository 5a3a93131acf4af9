#!/usr/bin/env bash
# Installs what building and running (run) or testing (test) needs on Debian 12, as root.
# Skips apt when everything is there already.
set -euo pipefail

run_packages=(g++ cmake ninja-build libboost-dev qt6-base-dev fonts-vlgothic)
run_packages+=(libcli11-dev libedit-dev nlohmann-json3-dev)  # tsugihagi-cli
test_packages=("${run_packages[@]}" libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
  xvfb xauth xdotool openbox g++-mingw-w64-x86-64-posix wine wine64 fonts-wine locales imagemagick
  dpkg-dev lintian appstream pybind11-dev python3-dev python3-pytest pkgconf)

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
