#!/usr/bin/env bash
# Runs kestrune-update.exe under Wine with COM12 and COM13 routed to
# simulated Kestrunes: a whole update, a bench of both, an update through
# ser2net, hooks through cmd.exe with a CSV record appended to, the port list, and
# ports that will not open, are not found or refuse a line setting.
# Exits 77 (skipped) with the reason where Wine cannot run programs of this
# width here.
#
# usage: wine_cli_test.sh 64|32 kestrune-update.exe ui_probe.exe kestrune-sim
set -u
bits=$1 cli=$2 probe_exe=$3 sim=$4
here=$(dirname "$0")
[ -f "$cli" ] && [ -f "$probe_exe" ] || { echo "skipped: the $bits-bit Windows build is missing (build.sh makes it)"; exit 77; }
source "$here/wine_common.sh"

updater_command=("${program_wine[@]}" "$cli")

start_simulator sim
start_simulator sim2
mkdir "$work/not-a-port"
wine reg add 'HKLM\Software\Wine\Ports' /v COM12 /d "$work/sim.tty" /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM13 /d "$work/sim2.tty" /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM14 /d "$work/not-a-port" /f >/dev/null 2>&1
# A file opens as a port under Wine, but takes no line setting, as a driver
# without odd parity would not.
: >"$work/plain-file"
wine reg add 'HKLM\Software\Wine\Ports' /v COM15 /d "$work/plain-file" /f >/dev/null 2>&1
wineserver -k; wineserver -w

echo "# a whole update on COM12, which only the \\\\.\\COM12 form reaches"
device sim bootstrap
check "update succeeds" ends 0 --port 12 --yes
check "and says so" says out "Firmware update was successful"
device sim power
check "banks 2 and 3 hold the new firmware" grep -q "firmware 5.0.3; FPGA configured" <(status_of sim)
check "the device reports 5.0.3" ends 0 --port 12 --version-only
check "shown" says out "Version In Your Kestrune:  5.0.3"

echo "# a bench of both, one thread each"
device sim bootstrap; device sim2 bootstrap
check "bench updates both" ends 0 --bench 12 13 --yes
check "COM12 in the table" says out "COM12                    updated"
check "COM13 in the table" says out "COM13                    updated"
check "and the count" says out "2 of 2 updated."
check "COM13's device runs the new firmware" grep -q "firmware 5.0.3" <(device sim2 power; status_of sim2)

echo "# a device on the network: ser2net on this host, reached through Winsock"
if command -v ser2net >/dev/null; then
    start_simulator sim3
    start_ser2net s3 "telnet(rfc2217),tcp(nodelay)" "$work/sim3.tty"
    device sim3 bootstrap
    check "update through ser2net" ends 0 --device "rfc2217://127.0.0.1:$(cat "$work/s3.port")" -y
    check "the device runs the new firmware" grep -q "firmware 5.0.3" <(device sim3 power; status_of sim3)
else
    echo "(ser2net is not installed: not tried)"
fi

echo "# a production station: hooks through cmd.exe, the record as CSV"
device sim bootstrap
power_hook="echo relay stuck 1>&2 & exit /b 3"
check "a failing power hook fails the unit" ends 1 --port 12 -q --record "$work/record.csv" \
    --bootstrap-command "echo %KESTRUNE_PORT% %KESTRUNE_SLOT%" --power-cycle-command "$power_hook"
check "the bootstrap hook saw its port and slot" says err "[slot 1 bootstrap] COM12 1"
check "named with its status and last line" says err "power-cycle hook '$power_hook' exited with status 3: relay stuck"
check "the record's header" test "$(head -n 1 "$work/record.csv" | tr -d '\r')" = \
    "time,host,program,firmware,port,slot,adapter,version_before,version_after,result,stage,message,detail,seconds,unit"
check "and the unit" grep -qF ",5.0.3,5.0.3,COM12,1,,,,failed,,,power-cycle hook '$power_hook' exited with status 3: relay stuck," \
    "$work/record.csv"
truncate -s -1 "$work/record.csv" # as a crash might leave it: the last line without its end
device sim bootstrap
check "a second run appends" ends 1 --port 12 -q --record "$work/record.csv" --bootstrap-command "echo %KESTRUNE_SLOT%" \
    --power-cycle-command "$power_hook"
check "under the one header, on a line of its own" test "$(grep -c ',failed,' "$work/record.csv") $(wc -l <"$work/record.csv")" = "2 3"

echo "# ports"
check "--list-ports" ends 0 --list-ports
check "lists COM12" says out "choose with   --port 12"
check "no port given: the list" ends 5
check "and how to choose" says err "choose the Kestrune's port with --port N"
check "a port that is no port" ends 3 --port 14 --version-only
check "named with the system's reason" says err "COM14: "
check "a port that refuses its line setting gets no answer" ends 6 --port 15 --version-only
check "named with what was asked and the system's reason" says out "COM15 refused 38400 bit/s, 8 data bits, odd parity: "
check "with the advice on parity" says out "may not support parity (some CH340 and PL2303 drivers do not)"
check "once" test "$(grep -c CH340 "$work/out.txt")" = 1
check "an update on it stops in stage 1" ends 1 --port 15 --yes
check "at the bootstrap line, named so" says err "COM15 refused 9600 bit/s, 8 data bits, no parity: "
check "a port that does not exist" ends 3 --port 99 --version-only
check "named, with a hint" says err "--list-ports"
check "a USB name no adapter has" ends 3 --device usb:NOSUCH123 --version-only
check "named, with the adapters present" says err "usb:NOSUCH123: no USB serial adapter with serial number NOSUCH123"
check "--port auto tries no COM port that is no USB adapter" ends 3 --port auto -y
check "and says no adapter was found" says err "no USB serial adapter was found"
check "--help" ends 0 --help
check "speaks of COM ports" says out "--device COMN"
check "and of nothing Linux has" sh -c '! grep -E "/dev/|udev|pseudo-terminal|simulated" "$0"' "$work/out.txt"
echo "# the page: kestrune-update.exe --gui --no-browser answers on loopback"
"${program_wine[@]}" "$cli" --gui --no-browser >"$work/gui.out" 2>"$work/gui.err" &
gui=$!
for _ in $(seq 150); do grep -q "open at" "$work/gui.out" 2>/dev/null && break; sleep 0.2; done
url=$(tr -d '\r' <"$work/gui.out" | sed -n 's/^Kestrune Zeruzuz is open at //p')
check "prints its address" test -n "$url"
page_get() { # page_get URL [COOKIE]: the status and the body
    /usr/bin/python3 -c 'import sys, urllib.request, urllib.error
request = urllib.request.Request(sys.argv[1], headers={"Cookie": sys.argv[2]} if len(sys.argv) > 2 else {})
try:
    response = urllib.request.urlopen(request, timeout=20); print(response.status, response.read().decode())
except urllib.error.HTTPError as error:
    print(error.code, error.read().decode())' "$@"
}
port=$(sed -n 's|^http://127.0.0.1:\([0-9]*\)/.*|\1|p' <<<"$url") token=${url##*token=}
check "answers on loopback with the owner's page" grep -q '^200 .*"mode":"owner"' \
    <(page_get "http://127.0.0.1:$port/api/state" "kestrune_page_$port=$token")
check "and lists COM12" grep -q '"com":"COM12"' <(page_get "http://127.0.0.1:$port/api/state" "kestrune_page_$port=$token")
check "refuses a request without its token" grep -q '^401 ' <(page_get "http://127.0.0.1:$port/api/state")
kill "$gui" 2>/dev/null; wait "$gui" 2>/dev/null

# A port held by another program is not tried: Wine makes no share-mode
# check on serial devices, so a second open succeeds under Wine.

finish
