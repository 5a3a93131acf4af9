#!/usr/bin/env bash
# Installs the .deb set that scripts/test-package.sh built into a clean Debian 12 root made
# with debootstrap, and runs there the terminal program, the example bot of examples/ and the
# Python module. Not part of the test command: it downloads a base system and the packages'
# dependencies. Run as root; CLEAN_ROOT names a root to reuse (made when missing).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build-package}
target=${CLEAN_ROOT:-$(mktemp -d)/root}

command -v debootstrap >/dev/null || apt-get install -y -q debootstrap >/dev/null
[ -x "$target/bin/sh" ] ||
  debootstrap --variant=minbase bookworm "$target" http://deb.debian.org/debian >/dev/null
mkdir -p "$target/tmp/debs" "$target/tmp/example"
cp "$build"/*.deb "$target/tmp/debs/"
cp "$root/examples/echo_bot.py" "$target/tmp/example/"
mount --bind /proc "$target/proc"
trap 'umount "$target/proc"' EXIT
chroot "$target" sh -ec '
  apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends /tmp/debs/*.deb >/dev/null
  dpkg -l "*tsugihagi*" | tail -n 4
  tsugihagi-cli --version
  cd /tmp/example
  mkdir bot
  printf "%s\n" "こんにちは、つぎはぎです" "今日はいい天気ですね" "いい天気なので散歩します" |
    python3 echo_bot.py bot
  ls bot/data
  python3 -c "import tsugihagi; print(\"import tsugihagi:\", tsugihagi.__version__)"
'
echo "the .deb set runs in a clean Debian 12 root ($target)"
