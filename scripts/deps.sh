#!/usr/bin/env bash
# Makes sure the Debian packages nuvik needs are installed.
#   scripts/deps.sh build   packages to build and run the program
#   scripts/deps.sh test    also those the test suite needs
# As root it installs what is missing; otherwise it prints the exact
# apt-get line and fails.
set -euo pipefail

build_pkgs=(g++ cmake ninja-build pkg-config qt6-base-dev libxcb1-dev gzip unicode-data bash-completion
            nlohmann-json3-dev libmnl-dev)
test_pkgs=(libgtest-dev libgmock-dev python3 iproute2 util-linux procps
           xvfb xauth xdotool imagemagick
           desktop-file-utils appstream lintian dpkg-dev fakeroot file hyperfine
           groff-base binutils fping clang-format black openssh-client openssh-server
           python3-pyatspi at-spi2-core dbus-bin)

want=("${build_pkgs[@]}")
[ "${1:-build}" = test ] && want+=("${test_pkgs[@]}")

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages. Install them with:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
