#!/usr/bin/env bash
# The command-line updater and network ports (rfc2217://HOST:PORT) against
# the real ser2net, each in front of a simulated Kestrune's terminal: a
# whole update, a stage fault, ser2net killed mid-update, a bench of four,
# the same wire trace as through the terminal itself, ports that do not
# answer or that another client holds, servers that misbehave (one that never reads, one that floods
# option requests, ser2net behind a relay that reports another speed or
# parity than it set), a production station whose hooks command the
# simulated Kestrune as a relay would, and two stations appending to one
# new record. Exits 77 (skipped) with the reason
# where ser2net cannot start.
#
# usage: ser2net_test.sh kestrune-update kestrune-sim
set -u
cli=$1 sim=$2
here=$(dirname "$0")
command -v ser2net >/dev/null || { echo "skipped: ser2net is not installed (build.sh installs it)"; exit 77; }
source "$here/../sim_harness.sh"
updater_command=("${host[@]}" "$cli")
rfc2217="telnet(rfc2217),tcp(nodelay)"

for n in 1 2 3 4 5; do start_simulator "sim$n"; done
start_ser2net s1 "$rfc2217" "$work/sim1.tty" || { echo "skipped: ser2net did not start: $(head -c 200 "$work/s1.log")"; exit 77; }
for n in 2 3 4 5; do start_ser2net "s$n" "$rfc2217" "$work/sim$n.tty"; done
start_ser2net raw "tcp" "$work/sim4.tty"
url() { echo "rfc2217://127.0.0.1:$(cat "$work/$1.port")"; }

echo "# a whole update through ser2net"
device sim1 bootstrap
check "update succeeds" ends 0 --device "$(url s1)" -y --trace "$work/network.trace"
check "and says so" says out "Firmware update was successful"
device sim1 power
check "banks 2 and 3 hold the new firmware" grep -q "firmware 5.0.3; FPGA configured" <(status_of sim1)
check "the device reports 5.0.3" ends 0 --device "$(url s1)" --version-only
check "shown" says out "Version In Your Kestrune:  5.0.3"

echo "# the same frames as through the terminal itself"
device sim1 bootstrap
check "a local update" ends 0 --device "$work/sim1.tty" -y --trace "$work/local.trace"
frames() { cut -c12- "$1"; } # without the time
check "its trace matches the network one" diff <(frames "$work/local.trace") <(frames "$work/network.trace")

echo "# a stage fault"
device sim1 bootstrap; device sim1 clear; device sim1 "fault nak:program:7"
check "fails stage 3" ends 1 --device "$(url s1)" -y
check "with its message" says err "Could Not Load the FPGA Firmware."
check "and detail" says err "of bank 2: device answered 0x01 (a byte failed to program)"
device sim1 clear

echo "# a bench of four, each behind its own ser2net port"
for n in 1 2 3 4; do device "sim$n" bootstrap; done
check "all four updated" ends 0 --bench "$(url s1)" "$(url s2)" "$(url s3)" "$(url s4)" -y
check "the table says so" says out "4 of 4 updated."

echo "# ser2net killed mid-update"
device sim2 bootstrap
updater --device "$(url s2)" -y & updating=$!
sleep 3
kill -9 "$(cat "$work/s2.pid")"; killed=$(date +%s%N)
wait $updating; status=$?; ended=$(date +%s%N)
check "the stage fails" test "$status" = 1
check "within 1 s" test $(((ended - killed) / 1000000)) -lt 1000
check "saying the connection closed" says err "connection to 127.0.0.1:$(cat "$work/s2.port") closed"

# start_server NAME MODE [PORT]: a port server that misbehaves, on
# $work/NAME.port: never-reads (options, then never a byte taken), floods
# (options faster than they can be answered; reads), or relay-baud and
# relay-parity (ser2net on PORT, its confirmations of 38400 turned into
# 9600, of odd parity into none).
start_server() {
    # A flood keeps a processor busy: below the simulators of the tests
    # that run beside this one, as the fuzzers and Wine are.
    local priority=0
    case $2 in never-reads | floods) priority=10 ;; esac
    nice -n $priority python3 - "$2" "$work/$1.port" "${3:-0}" <<'PY' >"$work/$1.log" 2>&1 & pids+=($!)
import socket, sys, threading
mode, port_file, upstream_port = sys.argv[1], sys.argv[2], int(sys.argv[3])
greeting = bytes([255, 251, 0, 255, 253, 0, 255, 251, 3, 255, 253, 3, 255, 253, 44])
toggles = bytes([255, 253, 0, 255, 254, 0]) * 2000  # DO and DONT BINARY: each answered
lies = {"relay-baud": (bytes([255, 250, 44, 101, 0, 0, 0x96, 0, 255, 240]),
                       bytes([255, 250, 44, 101, 0, 0, 0x25, 0x80, 255, 240])),
        "relay-parity": (bytes([255, 250, 44, 103, 2, 255, 240]), bytes([255, 250, 44, 103, 1, 255, 240]))}

def pipe(source, sink, lie=None):
    try:
        while data := source.recv(65536):
            sink.sendall(data.replace(*lie) if lie else data)
    except OSError:
        pass
    # shutdown, not close alone: the other direction's thread may be blocked
    # in recv on the socket, and then close would leave the connection open.
    for s in (source, sink):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        s.close()

def drain(source):
    try:
        while source.recv(65536):
            pass
    except OSError:
        pass

def serve(client):
    try:
        if mode in lies:
            server = socket.create_connection(("127.0.0.1", upstream_port))
            threading.Thread(target=pipe, args=(client, server), daemon=True).start()
            pipe(server, client, lies[mode])
            return
        if mode == "floods":
            threading.Thread(target=drain, args=(client,), daemon=True).start()
        client.sendall(greeting)
        while True:
            client.sendall(toggles)
    except OSError:
        client.close()

listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(8)
with open(port_file, "w") as f:
    f.write(str(listener.getsockname()[1]))
while True:
    threading.Thread(target=serve, args=(listener.accept()[0],), daemon=True).start()
PY
    for _ in $(seq 50); do [ -s "$work/$1.port" ] && return 0; sleep 0.1; done
    return 1
}
fails() { updater "$@"; local status=$?; [ "$status" = 1 ] || [ "$status" = 3 ] || { echo "  exit $status"; return 1; }; }
took_under() { [ $(($(date +%s%N) - started)) -lt $(($1 * 1000000)) ] || { echo "  took $(($(date +%s%N) / 1000000 - started / 1000000)) ms"; return 1; }; }

echo "# servers that misbehave"
start_server deaf never-reads; start_server flood floods
start_server fast relay-baud "$(cat "$work/s1.port")"; start_server even relay-parity "$(cat "$work/s3.port")"
# The updater spins answering a flood as well: it too runs below the simulators.
plain_updater=("${updater_command[@]}")
updater_command=(nice -n 10 "$cli")
for server in deaf flood; do
    started=$(date +%s%N)
    check "$server: the run fails (at the port or in stage 1)" fails --device "$(url $server)" -y
    check "within 10 s" took_under 10000
    check "naming the server" says err "127.0.0.1:$(cat "$work/$server.port")"
done
updater --device "$(url flood)" -y & updating=$!
sleep 1.5; kill -TERM $updating; signalled=$(date +%s%N)
wait $updating; status=$?
check "SIGTERM ends a run against a flood" test "$status" = 143
check "within 1 s" test $((($(date +%s%N) - signalled) / 1000000)) -lt 1000
device sim4 bootstrap
check "a bench with both and a good port ends" ends 1 --bench "$(url deaf)" "$(url s4)" "$(url flood)" -y
# The good port's update shares two cores with a flood being read and
# answered, and the flooding server itself: under that load it may miss an
# answer's 100 ms, so only the table's end is sure.
check "its table counts all three" says out " of 3 updated."
updater_command=("${plain_updater[@]}")
device sim1 bootstrap
started=$(date +%s%N)
check "a server that sets 9600 for 38400 fails stage 1" ends 1 --device "$(url fast)" -y
check "within 3 s" took_under 3000
check "naming both speeds" says err "127.0.0.1:$(cat "$work/fast.port") set the baud rate to 9600 where 38400 was asked"
device sim1 clear
device sim3 power
check "a server that sets no parity for odd" ends 0 --device "$(url even)" --version-only
check "is named" says out "127.0.0.1:$(cat "$work/even.port") set the parity to none where odd was asked"

echo "# ports that do not answer"
check "nobody listening" ends 3 --device rfc2217://127.0.0.1:1 --version-only
check "named with the cause" says err "127.0.0.1:1: connection refused"
check "a plain TCP port" ends 3 --device "$(url raw)" --version-only
check "does not speak RFC 2217" says err "does not speak RFC 2217"
exec 3<>"/dev/tcp/127.0.0.1/$(cat "$work/s4.port")"; sleep 0.5 # another client holds s4
check "a port another client holds" ends 3 --device "$(url s4)" --version-only
check "is named, in ser2net's words" says err "the server closed the connection: Port already in use"
exec 3<&-
echo "# a production station: hooks for bootstrap mode and power, the record, units already current, rounds"
record="$work/station.jsonl"
boot="echo bootstrap >'$work/sim5.in'; echo \"\$KESTRUNE_PORT \$KESTRUNE_SLOT\" >'$work/hook.env'; sleep 0.3"
power="echo power >'$work/sim5.in'; sleep 0.3"
station() { ends 0 --device "$(url s5)" --bootstrap-command "$boot" --power-cycle-command "$power" --record "$record" "$@" </dev/null; }
field() { tail -n 1 "$record" | grep -qF -- "$1" || { echo "  no $1 in:"; tail -n 1 "$record"; return 1; }; }
# A flash that answers every erase and page as done and takes none: the
# unit still runs 4.2.1 after the power cycle, and that is a failure.
device sim5 "fault unwritten:erase:0"; device sim5 "fault unwritten:program:0"
check "a flash that took nothing" ends 1 --device "$(url s5)" --bootstrap-command "$boot" --power-cycle-command "$power" \
    --record "$record" </dev/null
check "fails the check after the power cycle" says err "it reports 4.2.1, not 5.0.3"
check "and records 4.2.1 after" field '"version_before":"4.2.1","version_after":"4.2.1","result":"failed"'
device sim5 clear
check "an update with hooks and no prompt, --skip-current on a unit at 4.2.1" station --skip-current
check "asks nothing" test -z "$(grep -e 'type yes' -e 'press Enter' "$work/out.txt" "$work/err.txt")"
check "records 4.2.1 before and 5.0.3 after" field '"version_before":"4.2.1","version_after":"5.0.3","result":"updated"'
check "with the network endpoint as the adapter" field "\"adapter\":\"127.0.0.1:$(cat "$work/s5.port")\""
check "the hook saw its port and slot" grep -qxF "$(url s5) 1" "$work/hook.env"
before=$(status_of sim5)
check "--skip-current" station --skip-current
check "records the unit as skipped" field '"version_before":"5.0.3","version_after":null,"result":"skipped"'
after=$(status_of sim5)
sent() { sed 's/.*bytes received \([0-9]*\); version queries \([0-9]*\)/\1 \2/' <<<"$1"; }
check "and sends the version query only" test "$(sent "$after")" = "$(($(sent "$before" | cut -d' ' -f1) + 3)) $(($(sent "$before" | cut -d' ' -f2) + 1))"
# The next round waits for the person: Enter says the next unit is in place.
check "--station --units 2" ends 0 --device "$(url s5)" --bootstrap-command "$boot" --power-cycle-command "$power" \
    --record "$record" --station --units 2 < <(echo)
check "records two updated units" test "$(tail -n 2 "$record" | grep -c '"result":"updated"')" = 2
check "and sums them up" says out "Station: 2 units in 2 rounds: 2 updated, 0 failed, 0 skipped"
check "the record has every unit" test "$(wc -l <"$record")" = 5
device sim3 bootstrap
# The answer comes after a pause, as a person's would: ser2net serves a new
# connection only a moment after the version query's has closed.
check "a bench with --skip-current" ends 0 --bench "$(url s5)" "$(url s3)" --skip-current < <(sleep 2; echo yes)
check "asks for the units not current only" says out "1 of the 2 Kestrunes already run 5.0.3 and will be skipped"
check "names the one skipped, by slot and port" says out "  slot 1  $(url s5)  5.0.3  skipped: leave it as it is"
check "and the version each read" says out "  slot 2  $(url s3)  ???"
check "and leaves that one" says out "1 of 2 updated, 1 skipped (already 5.0.3)."

echo "# two stations appending to one new CSV record"
shared="$work/shared.csv"
for station in a b; do
    "$cli" --bench-sim 2 --station --units 4 --record "$shared" </dev/null >"$work/$station.txt" 2>&1 & stations+=($!)
done
wait "${stations[@]}"
check "the header once" test "$(grep -c '^time,host,' "$shared")" = 1
check "every row whole, a unit's" python3 - "$shared" <<'PY'
import csv, sys
with open(sys.argv[1], newline="", encoding="utf-8") as record:
    rows = list(csv.DictReader(record))
whole = [row for row in rows if None not in row and None not in row.values() and row["result"] in ("updated", "failed")]
sys.exit(0 if len(rows) == 8 and whole == rows else f"  {len(whole)} whole of {len(rows)}: {rows}")
PY
finish
