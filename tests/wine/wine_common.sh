# What the Wine tests share, sourced after they set bits, probe_exe and sim:
# the gate (exit 77, skipped, where Wine cannot run programs of this width),
# a fresh prefix and time limits on every Wine step, beside the shell tests'
# own harness (checks, simulated Kestrunes).
source "$here/../sim_harness.sh"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source "$here/wine_gate.sh"
wine_gate "$bits" "$probe_exe" || { echo "skipped: $SKIP_REASON"; exit 77; }
export WINELOADER=$WINE
# Every Wine step has a time limit; the programs themselves get the longest.
wine() { timeout -k 5 60 "$WINE" "$@"; }
# The program under test runs below the simulated Kestrunes' priority: its
# reads are a busy poll, and on a loaded machine it would take the processor
# from the device that is to answer, which in the field has its own.
program_wine=(nice -n 10 "$WINE")
wineserver() { timeout -k 5 30 /usr/lib/wine/wineserver "$@"; }
stop_wine() { wineserver -k 2>/dev/null; }
extra_cleanup=stop_wine
