#!/usr/bin/env bash
# Makes the pictures of the Windows program that the README shows, from a
# run of the Wine test that passes; nothing is copied from a failed run.
#
# usage: tools/make_pictures.sh   (after build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
bash tests/wine/wine_ui_test.sh 64 "build-win64/app/Kestrune Zeruzuz.exe" build-win64/app/ui_probe.exe \
    build/sim/kestrune-sim "$shots"
for picture in main-window instructions about-box success; do
    cp "$shots/$picture.png" docs/
done
