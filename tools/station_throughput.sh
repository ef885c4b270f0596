#!/bin/sh
# Units per hour of a simulated station of 8 paced slots, one of whose
# units takes SLOW seconds longer to come back after its power cycle:
# slots at their own pace (--next-unit-command) beside lock-step rounds,
# and beside eight equal slots at their own pace. Target: the slots at their
# own pace keep at least 90% of the equal slots' figure.
#
# usage: station_throughput.sh KESTRUNE-UPDATE [UNITS [SLOW]]
set -eu
updater=$1 units=${2:-24} slow=${3:-4}
slow_cycle="[ \$KESTRUNE_SLOT != 8 ] || sleep $slow"

# station LABEL ARGS...: runs it and prints its units per hour
station() {
    label=$1; shift
    per_hour=$("$updater" --bench-sim 8 --paced -y --station --units "$units" "$@" </dev/null 2>/dev/null |
        sed -n 's/.*; \([0-9.]*\) units per hour\./\1/p')
    printf '  %-34s %8s units per hour\n' "$label" "$per_hour" >&2
    echo "$per_hour"
}

echo "Station of 8 simulated slots (paced), $units units, slot 8 ${slow} s slower after its power cycle:" >&2
equal=$(station "8 equal slots, own pace" --next-unit-command true --power-cycle-command true)
own=$(station "one slow slot, own pace" --next-unit-command true --power-cycle-command "$slow_cycle")
lockstep=$(station "one slow slot, lock-step rounds" --power-cycle-command "$slow_cycle")
awk -v e="$equal" -v o="$own" -v l="$lockstep" 'BEGIN {
    printf "  own pace: %.0f%% of equal slots (target >= 90%%); lock-step: %.0f%%\n", 100 * o / e, 100 * l / e
    exit !(o >= 0.9 * e)
}'
