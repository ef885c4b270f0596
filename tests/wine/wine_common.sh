# What the Wine tests share, sourced after they set bits, probe_exe and sim:
# the gate (exit 77, skipped, where Wine cannot run programs of this width),
# a fresh prefix, time limits on every Wine step, checks, and simulated
# Kestrunes commanded through FIFOs.
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source "$here/wine_gate.sh"
wine_gate "$bits" "$probe_exe" || { rm -rf "$work"; echo "skipped: $SKIP_REASON"; exit 77; }
export WINELOADER=$WINE
# Every Wine step has a time limit; the programs themselves get the longest.
wine() { timeout -k 5 60 "$WINE" "$@"; }
wineserver() { timeout -k 5 30 /usr/lib/wine/wineserver "$@"; }
passed=0 failed=0
pids=()

cleanup() {
    wineserver -k 2>/dev/null
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

check() { # check NAME COMMAND...: one result line per check
    local name=$1; shift
    if "$@"; then passed=$((passed + 1)); echo "ok   $name"
    else failed=$((failed + 1)); echo "FAIL $name"; fi
}

start_simulator() { # start_simulator NAME: its terminal is $work/NAME.tty
    mkfifo "$work/$1.in"
    sleep 100000 >"$work/$1.in" & pids+=($!)
    "$sim" --link "$work/$1.tty" <"$work/$1.in" >"$work/$1.out" 2>&1 & pids+=($!)
    sleep 0.5
}
device() { echo "$2" >"$work/$1.in"; sleep 0.3; } # device sim1 bootstrap
status_of() { device "$1" status; grep "^listener" "$work/$1.out" | tail -n 1; }
