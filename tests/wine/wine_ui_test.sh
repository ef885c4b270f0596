#!/usr/bin/env bash
# Runs the Windows program under Wine on a virtual X display, with COM1 and
# COM3 routed to simulated Kestrunes and COM2 absent, and checks what it
# shows and does through ui_probe.exe. Screenshots go to SHOT_DIR.
# Exits 77 (skipped) with the reason where Wine cannot run programs of
# this width here.
#
# usage: wine_ui_test.sh 64|32 PROGRAM.exe ui_probe.exe kestrune-sim SHOT_DIR
set -u
bits=$1 exe=$2 probe_exe=$3 sim=$4 shots=$5
here=$(dirname "$0")
[ -f "$exe" ] && [ -f "$probe_exe" ] || { echo "skipped: the $bits-bit Windows build is missing (build.sh makes it)"; exit 77; }
command -v Xvfb >/dev/null || { echo "skipped: Xvfb is not installed"; exit 77; }
mkdir -p "$shots"
source "$here/wine_common.sh"
probe() { wine "$probe_exe" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
# Waits end as soon as the window shows what is asked, but are generous: a
# loaded machine running other Wine tests may take seconds to redraw.
shows() { # shows TITLE [SECONDS] TEXT...: the window appears and lists every TEXT
    local title=$1 wait=30; shift
    if [[ ${1:-} =~ ^[0-9]+$ ]]; then wait=$1; shift; fi
    local deadline=$((SECONDS + wait)) dump status missing
    while :; do
        dump=$(probe dump "$title" $((deadline > SECONDS ? deadline - SECONDS : 1))); status=$?
        # Judged by what the probe saw, not by how Wine ended it.
        if grep -q "^window \"$title\" " <<<"$dump"; then
            missing=
            for text in "$@"; do grep -qF -- "$text" <<<"$dump" || { missing=$text; break; }; done
            [ -z "$missing" ] && return 0
        else
            missing="the window itself (probe status $status)"
        fi
        [ $SECONDS -lt $deadline ] || break
        sleep 0.5
    done
    echo "  missing after $wait s: $missing"; sed 's/^/  | /' <<<"$dump"; return 1
}
absent() { ! probe dump "$1" "${2:-1.5}" >/dev/null; }
one_box() { # one_box TITLE ICON: exactly one such message box, with that icon
    local box; box=$(probe box "$1")
    [ "$box" = "$2 1" ] || { echo "  \"$1\": icon and count $box"; return 1; }
}
picture() { # picture NAME TITLE: the window as a PNG, which must not be blank
    local rect colours
    rect=$(probe rect "$2") && import -window root "$work/screen.png" 2>/dev/null &&
        convert "$work/screen.png" -crop "$rect" +repage "$shots/$1.png" || return 1
    colours=$(identify -format %k "$shots/$1.png")
    [ "$colours" -gt 8 ] || { echo "  $1.png has $colours colours"; return 1; }
}
counter() { status_of "$1" | sed "s/.*$2 \([0-9]*\).*/\1/"; } # counter sim1 "bytes received"
# The program's own view of the registry: a 32-bit program's HKLM\Software is
# another key than a 64-bit one's; ui_probe is built as wide as the program.
setting() { [ "$(probe setting)" = "class=DWORD type=3 data=$1" ]; }
remember() { wine reg add 'HKLM\Software\Orvenda\Kestrune Zeruzuz' /v 'Kestrune Zeruzuz Comm Port' /t REG_BINARY /d "$1" /f /reg:$bits >/dev/null 2>&1; }
forget() { wine reg delete 'HKLM\Software\Orvenda\Kestrune Zeruzuz' /v 'Kestrune Zeruzuz Comm Port' /f /reg:$bits >/dev/null 2>&1; }
route() { # route COM1 COM2 COM3: the device behind each port
    local n=1
    for path in "$@"; do wine reg add 'HKLM\Software\Wine\Ports' /v COM$n /d "$path" /f >/dev/null 2>&1; n=$((n + 1)); done
    wineserver -k; wineserver -w
}
start_program() { timeout -k 5 300 "${program_wine[@]}" "$exe" >/dev/null 2>&1 & app=$!; }
program_ends() { # waits for the program's process to end
    for _ in $(seq 150); do kill -0 "$app" 2>/dev/null || return 0; sleep 0.2; done; return 1
}
ends_on() { probe "$@" >/dev/null; program_ends; } # ends_on close|key TITLE [KEY]
unavailable() { # unavailable STORED NAME SHOWN...: the remembered port is not to be had; one warning
    remember "$1"; start_program
    check "$2" shows "Kestrune Zeruzuz" "${@:3}"
    check "$2: start-up warning" shows "Error" 'The selected COM port is unavailable.|Please choose a different port.'
    check "$2: one box, exclamation icon" one_box "Error" exclamation
    probe key "Error" enter >/dev/null
    ends_on close "Kestrune Zeruzuz"
}
update_clicked() { probe click "Kestrune Zeruzuz" 1000 >/dev/null; probe click "Instructions" 1 >/dev/null; }
succeeds() { # succeeds SIM TEXT...: the success box lists every TEXT; else what the device saw and the boxes up
    shows "Success" 90 "${@:2}" && return 0
    status_of "$1" | sed 's/^/  | /'
    for box in Instructions "Kestrune Zeruzuz Error"; do probe dump "$box" 1 | sed 's/^/  | /'; done; return 1
}

# A display of our own; Xvfb picks a free number and tells it.
Xvfb -displayfd 3 -screen 0 1024x768x24 3>"$work/display" >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$work/display")"

start_simulator sim1
start_simulator sim3
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
# A folder is named, so Wine gives the name to no other device, but is no port.
mkdir "$work/not-a-port"
route "$work/sim1.tty" "$work/not-a-port" "$work/sim3.tty"

echo "# nothing remembered: COM1 is taken and its device's version shown"
start_program
check "main window" shows "Kestrune Zeruzuz" 'id=1001 class=Button enabled=1 checked=1' \
    'id=1002 class=Button enabled=0 checked=0' 'id=1003 class=Button enabled=1 checked=0' \
    'id=1000 class=Button enabled=1' 'id=1005 class=Static enabled=1 checked=0 default=0 text="4.2.1"' \
    'text="5.0.3"' 'text="Kestrune Connected To:"'
check "no start-up warning" absent "Error"
check "picture of the main window" picture main-window "Kestrune Zeruzuz"
probe syscommand "Kestrune Zeruzuz" 16 >/dev/null
check "About box" shows "About Kestrune Zeruzuz" 'text="Kestrune Zeruzuz version 5.0.3"' \
    'text="A Utility for Updating Kestrune Firmware"' 'id=1 class=Button enabled=1 checked=0 default=1 text="OK"'
check "picture of the About box" picture about-box "About Kestrune Zeruzuz"
probe key "About Kestrune Zeruzuz" escape >/dev/null
check "About box ends on Escape" probe gone "About Kestrune Zeruzuz" 15

echo "# Instructions dialog: Cancel is the default; no way out of it but Update sends a byte"
before=$(counter sim1 "bytes received")
probe click "Kestrune Zeruzuz" 1000 >/dev/null
check "Instructions dialog" shows "Instructions" 'id=2 class=Button enabled=1 checked=0 default=1 text="Cancel"' \
    'text="Update"' '2. While holding down the "SET" button, turn|    Kestrune power back on.' \
    'text="4. Click the "Update" button below."'
check "picture of the Instructions dialog" picture instructions "Instructions"
for way in "key Instructions enter" "key Instructions escape" "click Instructions 2" "close Instructions"; do
    absent "Instructions" 0.5 && probe click "Kestrune Zeruzuz" 1000 >/dev/null
    probe dump "Instructions" 5 >/dev/null
    probe $way >/dev/null
    check "$way: dialog ends" probe gone "Instructions" 15
done
check "no message after cancelling" absent "Kestrune Zeruzuz Error" 2
check "no byte sent after cancelling" test "$(counter sim1 "bytes received")" = "$before"

echo "# an update with the device not in bootstrap mode fails in stage 1"
update_clicked
check "stage 1 failure box" shows "Kestrune Zeruzuz Error" 'text="Could Not Load the Primary Bootstrap Program."'
check "one box, stop icon" one_box "Kestrune Zeruzuz Error" stop
probe key "Kestrune Zeruzuz Error" enter >/dev/null
check "failure box closes" probe gone "Kestrune Zeruzuz Error" 15

echo "# a full update (the Write waits out each frame's wire time: about 20 s)"
device sim1 bootstrap
update_clicked
check "success box" succeeds sim1 'Firmware update was successful.|Please power-cycle and allow your Kestrune to restart now, before clicking OK.'
check "one box, exclamation icon" one_box "Success" exclamation
check "picture of the success box" picture success "Success"
device sim1 power
probe key "Success" enter >/dev/null
sleep 1
check "new version shown" shows "Kestrune Zeruzuz" 'id=1005 class=Static enabled=1 checked=0 default=0 text="5.0.3"'
check "device runs the new firmware" grep -q "firmware 5.0.3; FPGA configured" <(status_of sim1)

echo "# choosing COM3 remembers it; choosing it again repeats everything"
probe click "Kestrune Zeruzuz" 1003 >/dev/null
sleep 1
check "COM3 chosen" shows "Kestrune Zeruzuz" 'id=1003 class=Button enabled=1 checked=1' 'id=1001 class=Button enabled=1 checked=0' \
    'id=1005 class=Static enabled=1 checked=0 default=0 text="4.2.1"'
check "port 3 stored as 4 binary bytes under class DWORD" setting 03000000
forget
queried=$(counter sim3 "version queries")
probe click "Kestrune Zeruzuz" 1003 >/dev/null
sleep 1
check "the same radio button again: stored again" setting 03000000
check "the same radio button again: asked again" test "$(counter sim3 "version queries")" -eq $((queried + 1))
check "Escape ends the program" ends_on key "Kestrune Zeruzuz" escape

echo "# remembered COM3 is reopened, by a copy under another file name that still finds its images"
cp "$exe" "$work/Renamed Updater.exe"
exe_original=$exe exe="$work/Renamed Updater.exe"
start_program
check "COM3 reopened" shows "Kestrune Zeruzuz" 'id=1003 class=Button enabled=1 checked=1' 'id=1000 class=Button enabled=1'
check "no start-up warning" absent "Error"
device sim3 bootstrap
update_clicked
check "renamed copy updates COM3" succeeds sim3 'Firmware update was successful.'
probe key "Success" enter >/dev/null
sleep 1
check "no power cycle: the version stays unknown" shows "Kestrune Zeruzuz" 'id=1005 class=Static enabled=1 checked=0 default=0 text="???"'
check "Enter ends the program" ends_on key "Kestrune Zeruzuz" enter
exe=$exe_original

echo "# stored settings: 2 bytes, out of range, and a port that does not exist"
remember 0300
start_program
check "2 bytes over the default: COM3" shows "Kestrune Zeruzuz" 'id=1003 class=Button enabled=1 checked=1' 'id=1000 class=Button enabled=1'
check "no start-up warning" absent "Error"
check "the close box ends the program" ends_on close "Kestrune Zeruzuz"
unavailable 07000000 "port 7: no radio button selected" 'id=1001 class=Button enabled=1 checked=0' \
    'id=1002 class=Button enabled=0 checked=0' 'id=1003 class=Button enabled=1 checked=0' 'id=1000 class=Button enabled=0'
unavailable 02000000 "port 2: selected but disabled" 'id=1002 class=Button enabled=0 checked=1' \
    'id=1001 class=Button enabled=1 checked=0' 'id=1000 class=Button enabled=0' 'text="???"'

# A second copy is not tried here: Wine makes no share-mode check on a
# serial device, so under Wine a second copy opens a port the first one
# holds. On Windows the serial driver refuses the second open.

echo "# no port answers"
route "$work/not-a-port" "$work/not-a-port" "$work/not-a-port"
unavailable 02000000 "all disabled" 'id=1001 class=Button enabled=0' 'id=1002 class=Button enabled=0' \
    'id=1003 class=Button enabled=0' 'id=1000 class=Button enabled=0' 'text="???"'

finish
