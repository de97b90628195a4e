#!/usr/bin/env bash
# Installs the Debian packages Quillmark needs to build, test and run, skipping those present.
# As root it calls apt-get directly, otherwise through sudo.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev libgl-dev libzip-dev libexpat1-dev zlib1g-dev
    nettle-dev                 # the digests and ciphers of encrypted workbooks
    libdeflate-dev             # inflating zip parts in one call, and the benchmark floor
    libisal-dev                # streaming the inflate of zip parts too large to hold whole
    clang libclang-rt-14-dev   # fuzzing and sanitizer builds
    clang-format               # the tree's one format, checked in CI
    xdg-utils                  # opening workbooks and links with the desktop's handler
    lcov                       # scripts/coverage.sh
)
if [ "${QUILLMARK_WITH_FIXTURE_TOOLS:-0}" = 1 ]; then
    packages+=(python3-openpyxl python3-pil imagemagick xvfb at-spi2-core python3-pyatspi xdotool)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
