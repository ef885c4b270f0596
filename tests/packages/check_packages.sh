#!/usr/bin/env bash
# Checks the packages build.sh makes.
#   check_packages.sh deb PACKAGE.deb   unpacked into a scratch root, its programs run from there
#   check_packages.sh zip PACKAGE.zip   both programs and README.txt inside, importing system DLLs only
# Exits 77 (skipped) when the package has not been made.
set -u
kind=$1 package=$2
[ -f "$package" ] || { echo "skipped: $package has not been made (build.sh makes it)"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
check() { local name=$1; shift; if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failed=1; fi; }

if [ "$kind" = deb ]; then
    dpkg -x "$package" "$scratch"
    check "depends on what the programs link" grep -q libserialport0 <(dpkg-deb -f "$package" Depends)
    check "man page" test -f "$scratch/usr/share/man/man1/kestrune-update.1"
    check "--version from the package" grep -q "kestrune-update 5.0.3" <("$scratch/usr/bin/kestrune-update" --version)
    check "a simulated update from the package" grep -q "Version In Your Kestrune:  5.0.3" \
        <(timeout 120 "$scratch/usr/bin/kestrune-update" </dev/null 2>&1)
    check "kestrune-sim" test -x "$scratch/usr/bin/kestrune-sim"
else
    python3 -m zipfile -e "$package" "$scratch"
    folder=$(basename "$package" .zip)
    for file in "Kestrune Zeruzuz.exe" kestrune-update.exe README.txt; do
        check "$file in the zip" test -f "$scratch/$folder/$file"
    done
    for exe in "$scratch/$folder"/*.exe; do
        imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/.*DLL Name: //p' | tr 'a-z' 'A-Z')
        others=$(grep -vxE 'KERNEL32.DLL|USER32.DLL|GDI32.DLL|ADVAPI32.DLL|MSVCRT.DLL|SETUPAPI.DLL|WS2_32.DLL' <<<"$imports")
        check "$(basename "$exe") imports system DLLs only" test -n "$imports" -a -z "$others"
        [ -z "$others" ] || echo "  also: $others"
    done
fi
exit $failed
