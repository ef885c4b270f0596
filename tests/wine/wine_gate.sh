# Finds out, within a bounded time, whether Wine can run Windows programs of
# one width here. Sourced by build.sh and by the Wine tests.
#
# Machines differ: on some the kernel cannot run 32-bit programs at all
# (Wine's 32-bit loader then fails with "Exec format error"), and on some
# Wine never finishes setting up its prefix (wineboot spins). Nothing here
# waits without a time limit.

# True when this kernel runs 32-bit x86 programs: a 95-byte ELF that only
# calls exit(42) tells, without any 32-bit library installed.
runs_32bit_programs() {
    local elf status
    elf=$(mktemp)
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' >"$elf"
    printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5f\x00\x00\x00\x5f\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >>"$elf"
    printf '\x31\xdb\xb3\x2a\xb8\x01\x00\x00\x00\xcd\x80' >>"$elf" # xor ebx,ebx; mov bl,42; mov eax,1; int 0x80
    chmod +x "$elf"
    timeout 5 "$elf" 2>/dev/null
    status=$?
    rm -f "$elf"
    [ "$status" -eq 42 ]
}

# wine_gate BITS PROBE.exe: on success sets WINE to the loader for programs
# of that width (KZ_WINE overrides it) and returns 0 with the prefix in
# WINEPREFIX made; otherwise sets SKIP_REASON and returns 1. The probe is a
# program of our own that prints "ready"; it gets KZ_WINE_PROBE_SECONDS
# (60 by default), which also covers Wine making a new prefix. Where
# KZ_WINE_GATE_CACHE names a file stem, a "no" is kept there for ten
# minutes and tests running at the same time wait for one probe, so a Wine
# that hangs costs the suite one time limit, not one per test.
wine_gate() {
    local cache=${KZ_WINE_GATE_CACHE:+$KZ_WINE_GATE_CACHE-$1} lock
    if [ -n "$cache" ]; then
        exec {lock}>"$cache.lock"
        flock "$lock"
        if [ -n "$(find "$cache" -mmin -10 2>/dev/null)" ]; then
            SKIP_REASON=$(cat "$cache")
            exec {lock}>&-
            return 1
        fi
    fi
    local status
    if [ -n "$cache" ]; then
        probe_wine "$@" {lock}>&- # what it starts must not hold the lock
    else
        probe_wine "$@"
    fi
    status=$?
    if [ -n "$cache" ]; then
        if [ "$status" -ne 0 ]; then echo "$SKIP_REASON" >"$cache"; else rm -f "$cache"; fi
        exec {lock}>&-
    fi
    return $status
}

probe_wine() {
    local bits=$1 probe=$2 seconds=${KZ_WINE_PROBE_SECONDS:-60} out status
    # The 64-bit loader directly: where wine32 is installed, the plain `wine`
    # command takes the 32-bit loader for everything.
    WINE=${KZ_WINE:-$([ "$bits" = 64 ] && echo /usr/lib/wine/wine64 || echo /usr/lib/wine/wine)}
    if [ ! -x "$WINE" ]; then
        SKIP_REASON="Wine's $bits-bit loader is not installed ($WINE)"
        return 1
    fi
    if [ "$bits" = 32 ] && [ -z "${KZ_WINE:-}" ] && ! runs_32bit_programs; then
        SKIP_REASON="this kernel cannot run 32-bit programs"
        return 1
    fi
    out=$(mktemp)
    WINELOADER=$WINE timeout -k 5 "$seconds" "$WINE" "$probe" ready >"$out" 2>&1
    status=$?
    if grep -q "ready" "$out"; then
        rm -f "$out"
        return 0
    fi
    if [ "$status" -ge 124 ] && [ "$status" -ne 126 ]; then
        SKIP_REASON="Wine did not run a test program within ${seconds} s (its set-up hangs on this machine)"
    elif grep -qi "exec format error" "$out"; then
        SKIP_REASON="this kernel cannot run 32-bit programs (Wine: Exec format error)"
    else
        SKIP_REASON="Wine could not run a test program (exit $status): $(head -c 200 "$out" | tr '\n' ' ')"
    fi
    rm -f "$out"
    # What a hanging set-up left behind would go on spinning.
    timeout -k 2 10 wineserver -k >/dev/null 2>&1
    return 1
}
