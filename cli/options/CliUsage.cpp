// What --help shows on every platform, in the order it shows it, around the
// platform's own parts.

#include "CliUsage.h"

namespace {

// The usage lines of a station and of the page.
constexpr const char* kStationUsage = R"(       kestrune-update ... [--record FILE] [--bootstrap-command CMD]
                       [--power-cycle-command CMD] [--hook-timeout S]
                       [--skip-current] [--station [--units N]
                       [--next-unit-command CMD]]
                       [--unit-id-command CMD | --ask-unit-id]
       kestrune-update --gui [--gui-port N] [--no-browser] [--bench ...|--station]
)";

// The options that follow the ports, and the station's first.
constexpr const char* kGeneralOptions = R"(  --gui             the updater's page: served on this computer only
                    (127.0.0.1), opened in the browser; it lists the ports,
                    finds the Kestrune and updates it (with --bench or
                    --station it shows a tile per unit)
      --gui-port N  serve the page on TCP port N (default: a free one)
      --no-browser  print the page's address without opening a browser
  -y, --yes         do not ask before updating or wait for the restart
  -q, --quiet       show results and errors only
      --json        write one JSON event per line to stdout
      --trace FILE  write every exchange on the wire to FILE (- for stderr)
  -h, --help        show this help
  -V, --version     show the program's version and the firmware it carries

A production station (a single update or a bench):
      --record FILE append a line per unit and attempt to FILE: JSON Lines,
                    or CSV where FILE ends in .csv
)";

// The station's options after the bootstrap hook, and what network ports do.
constexpr const char* kStationAndNetwork = R"(      --power-cycle-command CMD
                    run CMD after each successful update to restart the unit,
                    then check that it runs the new firmware
      --hook-timeout S  stop a hook after S seconds (default 30): its unit fails
      --skip-current    leave a unit that already runs the carried firmware
      --station     rounds until stopped: the next units after Enter (q
                    stops), the first at once with a bootstrap hook; a
                    summary at the end
      --next-unit-command CMD
                    with --station, each slot at its own pace: CMD returns 0
                    once the slot's next unit is in place, else the slot ends
      --units N     stop the station after N units, across the slots
      --unit-id-command CMD
                    the first line CMD writes is the unit's id, for the
                    record, the table, JSON and the hooks (KESTRUNE_UNIT)
      --ask-unit-id ask for the unit's id (a scanner that presses Enter)

Network ports: each line mode is confirmed by the server before the next
frame; an answer may take 100 ms plus the round trip measured on connecting.

)";

// The exit statuses, around the one whose meaning is the platform's.
constexpr const char* kExitStatusHead = R"(Exit status:
  0 success (on a bench: every device)   1 an update stage failed
  2 usage error (a bad port name too)    3 port unavailable
  4 cancelled before the update began    5 )";

constexpr const char* kExitStatusTail = R"(
  6 --version-only got no version        130 interrupted (Ctrl-C)
  143 terminated
)";

} // namespace

std::string CliUsage()
{
    std::string text = kPlatformUsage.usage;
    text += kStationUsage;
    text += kPlatformUsage.listingUsage;
    text += kPlatformUsage.portOptions;
    text += kGeneralOptions;
    text += kPlatformUsage.bootstrapCommand;
    text += kStationAndNetwork;
    text += kPlatformUsage.ownSection;
    text += kExitStatusHead;
    text += kPlatformUsage.exitStatusFive;
    text += kExitStatusTail;
    return text;
}
