#!/usr/bin/env bash
# Runs the Windows program under Wine on a virtual X display, with COM1 and
# COM3 routed to simulated Kestrunes and COM2 absent, and checks what it
# shows and does through ui_probe.exe. Screenshots go to SHOT_DIR.
#
# usage: wine_ui_test.sh PROGRAM.exe ui_probe.exe kestrune-sim SHOT_DIR
set -u
exe=$1 probe_exe=$2 sim=$3 shots=$4
mkdir -p "$shots"
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
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
probe() {
    wine "$probe_exe" "$@" >"$work/probe.out" 2>/dev/null
    local status=$?
    tr -d '\r' <"$work/probe.out"
    return $status
}
shows() { # shows TITLE [SECONDS] TEXT...: the window appears and lists every TEXT
    local title=$1 wait=15; shift
    if [[ ${1:-} =~ ^[0-9]+$ ]]; then wait=$1; shift; fi
    local dump; dump=$(probe dump "$title" "$wait") || { echo "  (no window \"$title\")"; return 1; }
    for text in "$@"; do grep -qF -- "$text" <<<"$dump" || { echo "  missing: $text"; echo "$dump" | sed 's/^/  | /'; return 1; }; done
}
absent() { ! probe dump "$1" "${2:-1.5}" >/dev/null; }
shot() { import -window root "$shots/$1.png" 2>/dev/null; }
device() { echo "$2" >"$work/$1.in"; sleep 0.3; } # device sim1 bootstrap
# The program's own view of the registry: a 32-bit program's HKLM\Software is
# another key than a 64-bit one's.
pe_offset=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
[ "$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$exe" | tr -d ' ')" = 8664 ] && view=/reg:64 || view=/reg:32
remembered() { wine reg query 'HKLM\Software\Orvenda\Kestrune Zeruzuz' /v 'Kestrune Zeruzuz Comm Port' $view 2>/dev/null | tr -d '\r' | grep -q "REG_BINARY *$1"; }
remember() { wine reg add 'HKLM\Software\Orvenda\Kestrune Zeruzuz' /v 'Kestrune Zeruzuz Comm Port' /t REG_BINARY /d "$1" /f $view >/dev/null 2>&1; }
start_program() { wine "$exe" >/dev/null 2>&1 & app=$!; }
program_ends() { # waits for the program's process to end
    for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || return 0; sleep 0.2; done; return 1
}
close_program() { probe close "Kestrune Zeruzuz" >/dev/null; program_ends; }

# A display of our own; Xvfb picks a free number and tells it.
Xvfb -displayfd 3 -screen 0 1024x768x24 3>"$work/display" >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$work/display")"

# Two simulated devices, each commanded through a FIFO.
for name in sim1 sim3; do
    mkfifo "$work/$name.in"
    sleep 100000 >"$work/$name.in" & pids+=($!)
    "$sim" --link "$work/$name.tty" <"$work/$name.in" >"$work/$name.out" 2>&1 & pids+=($!)
done
sleep 0.5

wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$work/sim1.tty" /f >/dev/null 2>&1
# COM2 is a folder: named, so Wine gives the name to no other device, but no port.
mkdir "$work/not-a-port"
wine reg add 'HKLM\Software\Wine\Ports' /v COM2 /d "$work/not-a-port" /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM3 /d "$work/sim3.tty" /f >/dev/null 2>&1
wineserver -k; wineserver -w

echo "# nothing remembered: COM1 is taken and its device's version shown"
start_program
check "main window" shows "Kestrune Zeruzuz" 'id=1001 class=Button enabled=1 checked=1' \
    'id=1002 class=Button enabled=0 checked=0' 'id=1003 class=Button enabled=1 checked=0' \
    'id=1000 class=Button enabled=1' 'id=1005 class=Static enabled=1 checked=0 default=0 text="4.2.1"' \
    'text="5.0.3"' 'text="Kestrune Connected To:"'
check "no start-up warning" absent "Error"
shot main-window
probe syscommand "Kestrune Zeruzuz" 16 >/dev/null
check "About box" shows "About Kestrune Zeruzuz" 'text="Kestrune Zeruzuz version 5.0.3"' \
    'text="A Utility for Updating Kestrune Firmware"' 'id=1 class=Button enabled=1 checked=0 default=1 text="OK"'
shot about-box
probe key "About Kestrune Zeruzuz" escape >/dev/null
check "About box ends on Escape" probe gone "About Kestrune Zeruzuz" 5

echo "# Instructions dialog: Cancel is the default, and Enter sends nothing"
probe click "Kestrune Zeruzuz" 1000 >/dev/null
check "Instructions dialog" shows "Instructions" 'id=2 class=Button enabled=1 checked=0 default=1 text="Cancel"' \
    'text="Update"' '2. While holding down the "SET" button, turn|    Kestrune power back on.' \
    'text="4. Click the "Update" button below."'
shot instructions
probe key "Instructions" enter >/dev/null
check "Enter cancels" probe gone "Instructions" 5
check "no message after cancelling" absent "Kestrune Zeruzuz Error" 3

echo "# an update with the device not in bootstrap mode fails in stage 1"
probe click "Kestrune Zeruzuz" 1000 >/dev/null
probe click "Instructions" 1 >/dev/null
check "stage 1 failure box" shows "Kestrune Zeruzuz Error" 'text="Could Not Load the Primary Bootstrap Program."'
shot stage-one-failure
probe click "Kestrune Zeruzuz Error" 2 >/dev/null
probe key "Kestrune Zeruzuz Error" enter >/dev/null
check "failure box closes" probe gone "Kestrune Zeruzuz Error" 5

echo "# a full update (the Write waits out each frame's wire time: about 20 s)"
device sim1 bootstrap
probe click "Kestrune Zeruzuz" 1000 >/dev/null
probe click "Instructions" 1 >/dev/null
check "success box" shows "Success" 90 'Firmware update was successful.|Please power-cycle and allow your Kestrune to restart now, before clicking OK.'
shot success
device sim1 power
probe key "Success" enter >/dev/null
sleep 1
check "new version shown" shows "Kestrune Zeruzuz" 'id=1005 class=Static enabled=1 checked=0 default=0 text="5.0.3"'
check "device runs the new firmware" grep -q "firmware 5.0.3; FPGA configured" <(device sim1 status; cat "$work/sim1.out")

echo "# choosing COM3 remembers it"
probe click "Kestrune Zeruzuz" 1003 >/dev/null
sleep 1
check "COM3 chosen" shows "Kestrune Zeruzuz" 'id=1003 class=Button enabled=1 checked=1' 'id=1001 class=Button enabled=1 checked=0' \
    'id=1005 class=Static enabled=1 checked=0 default=0 text="4.2.1"'
check "port 3 stored as 4 binary bytes" remembered 03000000
check "closing ends the program" close_program

echo "# remembered COM3 is reopened, by a copy under another file name that still finds its images"
cp "$exe" "$work/Renamed Updater.exe"
exe_original=$exe
exe="$work/Renamed Updater.exe"
start_program
check "COM3 reopened" shows "Kestrune Zeruzuz" 'id=1003 class=Button enabled=1 checked=1' 'id=1000 class=Button enabled=1'
check "no start-up warning" absent "Error"
device sim3 bootstrap
probe click "Kestrune Zeruzuz" 1000 >/dev/null
probe click "Instructions" 1 >/dev/null
check "renamed copy updates COM3" shows "Success" 90 'Firmware update was successful.'
probe key "Success" enter >/dev/null
sleep 1
check "no power cycle: the version stays unknown" shows "Kestrune Zeruzuz" 'id=1005 class=Static enabled=1 checked=0 default=0 text="???"'
exe=$exe_original
check "Escape ends the program" bash -c "wine '$probe_exe' key 'Kestrune Zeruzuz' escape >/dev/null 2>&1"
program_ends

echo "# remembered COM2 does not exist"
remember 02000000
start_program
check "COM2 selected but disabled" shows "Kestrune Zeruzuz" 'id=1002 class=Button enabled=0 checked=1' \
    'id=1001 class=Button enabled=1 checked=0' 'id=1000 class=Button enabled=0' 'text="???"'
check "start-up warning" shows "Error" 'The selected COM port is unavailable.|Please choose a different port.'
shot port-warning
probe key "Error" enter >/dev/null
close_program

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
