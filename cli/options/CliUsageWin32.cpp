// What --help shows on Windows, where ports are COM ports and no simulated
// Kestrune runs, and what --paced may pace here.

#include "CliOptions.h"

const char* const kCliUsage = R"(usage: kestrune-update [-p N|auto | --device COMN|usb:SERIAL] [-y] [-q] [--json]
                       [--trace FILE|-]
       kestrune-update --version-only [-p N|auto | --device COMN|usb:SERIAL]
       kestrune-update --bench PORT...
       kestrune-update ... [--record FILE] [--bootstrap-command CMD]
                       [--power-cycle-command CMD] [--hook-timeout S]
                       [--skip-current] [--station [--units N]
                       [--next-unit-command CMD]]
                       [--unit-id-command CMD | --ask-unit-id]
       kestrune-update --gui [--gui-port N] [--no-browser] [--bench ...|--station]
       kestrune-update --list-ports | --images | -h | -V

Updates the firmware of a Kestrune attached to a serial port. Without --port
or --device it lists the serial ports here, to choose from.

  -p, --port N      use COMN (1-255, also written COMN, e.g. --port 12 or
                    --port COM12); a USB adapter usually has COM4 or higher
  --port auto       use the USB serial adapter the Kestrune answers on (each
                    free one gets the version query only), or the only one
  --device COMN     the same port as --port N (--device COM12), or
                    rfc2217://HOST:PORT for a port that ser2net or a
                    terminal server shares over the network
  --device usb:SERIAL, usb:VID:PID, usb:VID:PID:SERIAL
                    the USB adapter with this serial number or these ids
                    (hex), whatever COM number it has; also for --bench
  --list-ports      list the serial ports present and what they are
  --version-only    show the Kestrune's firmware version and send nothing else
  --images          list the firmware images this program carries
  --bench PORT...   update the Kestrunes on these ports (as --device) at once
  --gui             the updater's page: served on this computer only
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
      --bootstrap-command CMD
                    run CMD (cmd.exe) to put each unit into bootstrap mode,
                    instead of asking; KESTRUNE_PORT and KESTRUNE_SLOT are
                    in its environment
      --power-cycle-command CMD
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

Exit status:
  0 success (on a bench: every device)   1 an update stage failed
  2 usage error (a bad port name too)    3 port unavailable
  4 cancelled before the update began    5 no port given (the ports are listed)
  6 --version-only got no version        130 interrupted (Ctrl-C)
  143 terminated
)";

// A COM port's writes return once the driver has them; nothing here holds
// them for their wire time, and no simulated Kestrune runs on Windows.
const bool kPacesLocalDevices = false;
