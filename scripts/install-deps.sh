#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    clang-14 libclang-rt-14-dev # the second compiler, its sanitizers and libFuzzer
    qt6-base-dev libgl-dev qt6-translations-l10n libqt6sql6-sqlite # the history's database
    libarchive-dev libdeflate-dev zlib1g-dev # unpacking sets; fast CRC-32 for RAR's checksums
    7zip libarchive-tools # archives made by the tests; bsdtar, the benchmark's yardstick
    googletest libgtest-dev libbenchmark-dev
    nginx-light curl openssl libssl-dev tinyproxy microsocks time # TLS, the real servers of the network tests
    xvfb xauth xdotool fonts-dejavu-core
    build-essential debhelper lintian desktop-file-utils appstream # the package and its checks
    python3-pyatspi at-spi2-core dbus-daemon # tests that drive the program by its controls' texts
    xclip # copies made by another program, for the watch on the clipboard
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg -s "$package" >/dev/null 2>&1; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
