#!/bin/sh
# Units per hour of a simulated station of 8 paced slots, one of whose
# units takes SLOW seconds longer to come back after its power cycle: slots
# at their own pace (--next-unit-command) and lock-step rounds, each beside
# eight equal slots at their own pace. Target: the slots at their own pace
# keep at least 90% of the equal slots' figure.
#
# The figure comes from the record, not from the station's own summary,
# which counts its start and its last units too: from the first unit's start
# to the moment the first slot ended its last unit, while every slot still
# had units to take, a unit under way at that moment counted by the part of
# it done. The record's times are whole seconds: a unit count large enough
# that this runs for minutes keeps that error below 1%.
#
# usage: station_throughput.sh KESTRUNE-UPDATE [UNITS [SLOW]]
set -eu
updater=$1 units=${2:-64} slow=${3:-4}
slow_cycle="[ \$KESTRUNE_SLOT != 8 ] || sleep $slow"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# station NAME LABEL ARGS...: runs it and prints its units per hour; its
# line, with the units that failed, goes to stderr.
station() {
    name=$1 label=$2
    shift 2
    status=0
    "$updater" --bench-sim 8 --paced -y --station --units "$units" --record "$scratch/$name.jsonl" "$@" \
        </dev/null >"$scratch/$name.out" 2>&1 || status=$?
    if [ "$status" -gt 1 ]; then
        printf '  %-34s ended with status %s:\n' "$label" "$status" >&2
        tail -n 5 "$scratch/$name.out" >&2
        exit 1
    fi
    python3 - "$scratch/$name.jsonl" "$label" <<'EOF'
import calendar, json, sys, time

units = []  # (slot, start, end in seconds, updated)
missed = []  # the units not updated
for line in open(sys.argv[1]):
    row = json.loads(line)
    if row["result"] != "updated":
        missed.append(f"    slot {row['slot']} {row['result']}: {row['detail']}")
    start = calendar.timegm(time.strptime(row["time"], "%Y-%m-%dT%H:%M:%SZ"))
    units.append((row["slot"], start, start + row["seconds"], row["result"] == "updated"))
first = min(start for _, start, _, _ in units)
last_in_slot = {}
for slot, _, end, _ in units:
    last_in_slot[slot] = max(end, last_in_slot.get(slot, end))
until = min(last_in_slot.values())  # the first slot out of units
# Updated units only: a failed one took its slot's time and gave nothing.
done = sum((min(end, until) - start) / (end - start) for _, start, end, updated in units
           if updated and start < until and end > start)
per_hour = done / (until - first) * 3600
print(f"  {sys.argv[2]:<34} {per_hour:8.1f} units per hour over {until - first:.0f} s "
      f"({len(units)} units, {len(missed)} not updated)", *missed, sep="\n", file=sys.stderr)
print(f"{per_hour:.1f}")
EOF
}

echo "Station of 8 simulated slots (paced), $units units each run, slot 8 ${slow} s slower after its power cycle:" >&2
equal=$(station equal "8 equal slots, own pace" --next-unit-command true --power-cycle-command true)
own=$(station own "one slow slot, own pace" --next-unit-command true --power-cycle-command "$slow_cycle")
lockstep=$(station lockstep "one slow slot, lock-step rounds" --power-cycle-command "$slow_cycle")
awk -v e="$equal" -v o="$own" -v l="$lockstep" 'BEGIN {
    printf "  %-34s %8.1f units per hour  100%%\n", "8 equal slots, own pace", e
    printf "  %-34s %8.1f units per hour  %3.0f%% of equal (target >= 90%%)\n", "one slow slot, own pace", o, 100 * o / e
    printf "  %-34s %8.1f units per hour  %3.0f%% of equal\n", "one slow slot, lock-step rounds", l, 100 * l / e
    exit !(o >= 0.9 * e)
}'
