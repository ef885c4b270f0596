# What the shell tests share, sourced after they set sim (the kestrune-sim
# program): a scratch folder, checks, simulated Kestrunes commanded through
# FIFOs, and runs of the updater (the command in the array updater_command).
# A test may set extra_cleanup to a function of its own.
work=$(mktemp -d)
passed=0 failed=0
pids=()
extra_cleanup=true

cleanup() {
    $extra_cleanup
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
finish() { echo "$passed passed, $failed failed"; [ "$failed" -eq 0 ]; }

start_simulator() { # start_simulator NAME: its terminal is $work/NAME.tty
    mkfifo "$work/$1.in"
    sleep 100000 >"$work/$1.in" & pids+=($!)
    "$sim" --link "$work/$1.tty" <"$work/$1.in" >"$work/$1.out" 2>&1 & pids+=($!)
    sleep 0.5
}
device() { echo "$2" >"$work/$1.in"; sleep 0.3; } # device sim1 bootstrap
status_of() { device "$1" status; grep "^listener" "$work/$1.out" | tail -n 1; }

updater() { # updater ARGS...: output in $work/out.txt, errors in $work/err.txt, the status returned
    timeout -k 5 120 "${updater_command[@]}" "$@" >"$work/out" 2>"$work/err"
    local status=$?
    tr -d '\r' <"$work/out" >"$work/out.txt"; tr -d '\r' <"$work/err" >"$work/err.txt"
    return $status
}
says() { grep -qF -- "$2" "$work/$1.txt" || { echo "  no \"$2\" in:"; sed 's/^/  | /' "$work/$1.txt"; return 1; }; }
ends() { updater "${@:2}"; local status=$?; [ "$status" = "$1" ] || { echo "  exit $status"; return 1; }; }

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
# start_ser2net NAME ACCEPTER TTY: ser2net in the foreground, serving TTY
# with that accepter (e.g. "telnet(rfc2217),tcp(nodelay)"); its port is
# $work/NAME.port, its process $work/NAME.pid. False, with the reason in
# $work/NAME.log, when it does not listen within 5 s.
# ser2net relays every byte between the updater and a simulator, so beside
# busy processors it must run as soon as a byte comes, or the answer misses
# its 100 ms: real-time, as the simulators' carriers are, where allowed.
serving=()
chrt -f 10 true 2>/dev/null && serving=(chrt -f 10)
# The updater keeps time of its own (its read allowances, the sign-on's
# attempts, a signal acted on at once): as in the test programs, it runs
# real-time one step below the devices' end where allowed (why: the test
# programs' TestPriority.cpp), or else with a raised nice value. A test sets
# updater_command from it.
host=()
if chrt -r 5 true 2>/dev/null; then host=(chrt -r 5)
elif [ "$(nice -n -10 nice 2>/dev/null)" = $(($(nice) - 10)) ]; then host=(nice -n -10); fi
start_ser2net() {
    local port; port=$(free_port)
    echo "$port" >"$work/$1.port"
    "${serving[@]}" ser2net -u -d -Y "connection: &$1#  accepter: $2,127.0.0.1,$port#  connector: serialdev,$3,9600n81,local" \
        >"$work/$1.log" 2>&1 &
    echo $! >"$work/$1.pid"; pids+=($!)
    disown $! # a test may kill it; the shell need not remark on that
    for _ in $(seq 50); do
        [ -n "$(ss -Hltn "sport = :$port")" ] && return 0
        sleep 0.1
    done
    return 1
}
