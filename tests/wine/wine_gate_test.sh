#!/usr/bin/env bash
# The Wine tests must skip, quickly and with their reason, where Wine
# cannot run: each case puts a stand-in for Wine in front of the harness.
#
# usage: wine_gate_test.sh wine_ui_test.sh
set -u
harness=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/program.exe" "$work/ui_probe.exe"
failed=0
# name | stand-in's body | reason the harness must give
while IFS='|' read -r name body reason; do
    printf '#!/bin/sh\n%s\n' "$body" >"$work/$name"
    chmod +x "$work/$name"
    started=$SECONDS
    output=$(KZ_WINE="$work/$name" KZ_WINE_PROBE_SECONDS=3 \
             bash "$harness" 64 "$work/program.exe" "$work/ui_probe.exe" /bin/false "$work/shots" 2>&1)
    status=$? took=$((SECONDS - started))
    if [ "$status" -eq 77 ] && grep -qF "skipped: $reason" <<<"$output" && [ "$took" -le 20 ]; then
        echo "ok   $name: skipped in ${took} s"
    else
        echo "FAIL $name: exit $status after ${took} s: $output"
        failed=$((failed + 1))
    fi
done <<'CASES'
fails|echo "wine: could not load kernel32.dll, status c0000135" >&2; exit 1|Wine could not run a test program (exit 1): wine: could not load kernel32.dll
hangs|exec sleep 600|Wine did not run a test program within 3 s
refuses|echo "/usr/lib/wine/wine: cannot execute binary file: Exec format error" >&2; exit 126|this kernel cannot run 32-bit programs
CASES
# Tests that run at once share one probe: a hanging Wine costs one time limit
# (5 s here), not two (10 s).
started=$SECONDS
for _ in 1 2; do
    KZ_WINE="$work/hangs" KZ_WINE_PROBE_SECONDS=5 KZ_WINE_GATE_CACHE="$work/gate" \
        bash "$harness" 64 "$work/program.exe" "$work/ui_probe.exe" /bin/false "$work/shots" >/dev/null 2>&1 &
done
wait
took=$((SECONDS - started))
if [ "$took" -le 8 ]; then echo "ok   two tests, one probe: ${took} s"; else echo "FAIL two tests took ${took} s"; failed=1; fi
[ "$failed" -eq 0 ]
