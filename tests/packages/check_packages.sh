#!/usr/bin/env bash
# Checks the packages build.sh makes.
#   check_packages.sh deb PACKAGE.deb      unpacked into a scratch root: its programs run from there,
#                                          its documents and man pages where Debian keeps them
#   check_packages.sh lintian PACKAGE.deb  lintian finds no error (skipped where lintian is missing)
#   check_packages.sh zip PACKAGE.zip      both programs and README.txt inside, importing system DLLs only
# Exits 77 (skipped) when the package has not been made.
set -u
kind=$1 package=$2
[ -f "$package" ] || { echo "skipped: $package has not been made (build.sh makes it)"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
check() { local name=$1; shift; if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failed=1; fi; }

# The first word of each entry of a man page's OPTIONS and COMMANDS, and of
# each entry --help lists (lines indented by two), one a line, sorted.
man_entries() {
    sed -n '/^\.SH \(OPTIONS\|COMMANDS\)/,/^\.SH \(EXIT\|SEE\)/{/^\.TP/{n;p}}' "$1" |
        sed 's/^\.[A-Z]* *//; s/\\//g; s/[ ,].*//' | sort
}
help_entries() { sed -n 's/^  \([^ ]\+\).*/\1/p' | sed 's/,$//' | sort; }
# Every paragraph of a machine-readable copyright file that names files also
# names their copyright and licence.
copyright_readable() {
    head -1 "$1" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' &&
        awk -v RS= '/^Files:/ && !(/\nCopyright:/ && /\nLicense:/) { bad = 1 } END { exit bad }' "$1"
}

if [ "$kind" = deb ]; then
    dpkg -x "$package" "$scratch"
    doc=$scratch/usr/share/doc/kestrune-zeruzuz man1=$scratch/usr/share/man/man1
    check "depends on what the programs link" grep -q libserialport0 <(dpkg-deb -f "$package" Depends)
    check "--version from the package" grep -q "kestrune-update 5.0.3" <("$scratch/usr/bin/kestrune-update" --version)
    check "a simulated update from the package" grep -q "Version In Your Kestrune:  5.0.3" \
        <(timeout 120 "$scratch/usr/bin/kestrune-update" </dev/null 2>&1)
    check "kestrune-sim" test -x "$scratch/usr/bin/kestrune-sim"
    check "a menu entry that opens the page" grep -qx "Exec=kestrune-update --gui" \
        "$scratch/usr/share/applications/kestrune-zeruzuz.desktop"
    check "README, copyright and changelog in its doc folder" \
        test -f "$doc/README.md.gz" -a -f "$doc/copyright" -a -f "$doc/changelog.gz"
    check "copyright in the machine-readable format" copyright_readable "$doc/copyright"
    zcat "$doc/changelog.gz" >"$scratch/changelog" 2>/dev/null
    check "changelog as dpkg reads it, for this version" test "$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)" \
        = "$(dpkg-deb -f "$package" Version)"
    for page in kestrune-update kestrune-sim; do
        check "$page.1 compressed" gzip -t "$man1/$page.1.gz"
        zcat "$man1/$page.1.gz" >"$scratch/$page.1" 2>/dev/null
    done
    check "no page left uncompressed" test -z "$(find "$scratch/usr/share" -name '*.1')"
    if command -v man >/dev/null; then
        for page in kestrune-update kestrune-sim; do
            MANPATH=$scratch/usr/share/man MANWIDTH=80 man --warnings -P cat $page >"$scratch/$page.txt" 2>"$scratch/man.err"
            check "man $page from the package, without complaints" test -s "$scratch/$page.txt" -a ! -s "$scratch/man.err"
            cat "$scratch/man.err"
        done
        check "man kestrune-sim lists its commands" grep -q "^COMMANDS" "$scratch/kestrune-sim.txt"
    else
        echo "skip man pages read by man: man is not installed (build.sh installs man-db)"
    fi
    check "SEE ALSO names pages the package has" test -f "$man1/$(sed -n '/^\.SH SEE ALSO/{n;s/^\.BR \([^ ]*\) (1)/\1/p}' \
        "$scratch/kestrune-update.1").1.gz"
    "$scratch/usr/bin/kestrune-sim" --help >"$scratch/help.txt"
    check "kestrune-sim --help and its man page list the same options and commands" \
        diff <(man_entries "$scratch/kestrune-sim.1") <(help_entries <"$scratch/help.txt")
elif [ "$kind" = lintian ]; then
    command -v lintian >/dev/null || { echo "skipped: lintian is not installed (build.sh installs it)"; exit 77; }
    timeout 300 lintian --fail-on error --tag-display-limit 0 "$package" >"$scratch/lintian.txt" 2>&1
    status=$?
    cat "$scratch/lintian.txt"
    check "lintian finds no error" test "$status" -eq 0 -a -z "$(grep '^E:' "$scratch/lintian.txt")"
else
    python3 -m zipfile -e "$package" "$scratch"
    folder=$(basename "$package" .zip)
    for file in "Kestrune Zeruzuz.exe" kestrune-update.exe README.txt; do
        check "$file in the zip" test -f "$scratch/$folder/$file"
    done
    check "README.txt names --port auto" grep -q -- "--port auto" "$scratch/$folder/README.txt"
    check "README.txt says how the window reaches a USB adapter" grep -q "COM Port Number" "$scratch/$folder/README.txt"
    for exe in "$scratch/$folder"/*.exe; do
        imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/.*DLL Name: //p' | tr 'a-z' 'A-Z')
        others=$(grep -vxE 'KERNEL32.DLL|USER32.DLL|GDI32.DLL|ADVAPI32.DLL|MSVCRT.DLL|SETUPAPI.DLL|WS2_32.DLL|MSWSOCK.DLL|BCRYPT.DLL|SHELL32.DLL' <<<"$imports")
        check "$(basename "$exe") imports system DLLs only" test -n "$imports" -a -z "$others"
        [ -z "$others" ] || echo "  also: $others"
    done
fi
exit $failed
