#!/usr/bin/env bash
# Installs what the build and the tests need (Debian packages) and builds
# everything: the native programs, tests and .deb into build/, the Windows
# programs and their .zip into build-win64/ (x86-64) and build-win32/ (i686).
# Safe to run again: it installs only what is missing.
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev srecord clang clang-format clang-tidy python3-pefile dpkg-dev lintian man-db
          pkg-config libserialport-dev nlohmann-json3-dev ser2net iproute2
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 xvfb imagemagick
          libboost-dev chromium chromium-driver python3-selenium)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# The 32-bit program runs under Wine's i386 half, where this kernel runs
# 32-bit programs at all; elsewhere its test reports itself skipped.
source tests/wine/wine_gate.sh
if runs_32bit_programs; then
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    packages+=(wine32:i386)
fi
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
(cd build && cpack -G DEB >/dev/null) # the .deb, for its test

for target in x86_64:win64 i686:win32; do
    arch=${target%%:*} dir=build-${target##*:}
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Windows \
        -DCMAKE_CXX_COMPILER="$arch-w64-mingw32-g++-posix" -DCMAKE_RC_COMPILER="$arch-w64-mingw32-windres"
    cmake --build "$dir"
    (cd "$dir" && cpack -G ZIP >/dev/null)
done
