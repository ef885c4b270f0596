// What --help shows on Linux, and what --paced may pace here.

#include "CliOptions.h"

const char* const kCliUsage = R"(usage: kestrune-update [-p N|auto | --device PATH] [-y] [-q] [--json]
                       [--trace FILE|-]
       kestrune-update --version-only [-p N|auto | --device PATH]
       kestrune-update --bench PORT... | --bench-sim N [--bench-fault K:SPEC]...
       kestrune-update ... [--record FILE] [--bootstrap-command CMD]
                       [--power-cycle-command CMD] [--hook-timeout S]
                       [--skip-current] [--station [--units N]
                       [--next-unit-command CMD]]
                       [--unit-id-command CMD | --ask-unit-id]
       kestrune-update --gui [--gui-port N] [--no-browser] [--bench ...|--station]
       kestrune-update --list-ports | --udev-rule PORT | --images | -h | -V

Updates the firmware of a Kestrune attached to a serial port. Without --port
or --device it updates a simulated Kestrune, which shows how an update goes.

  -p, --port N      use COMN (1-255, also written COMN); on Linux COMN is
                    /dev/ttyS(N-1); -p PATH is --device PATH
  --port auto       use the USB serial adapter the Kestrune answers on (each
                    free one gets the version query only), or the only one
  --device PATH     use this serial device, e.g. /dev/serial/by-id/usb-FTDI_...
                    (COMN on Windows), or rfc2217://HOST:PORT for a port that
                    ser2net or a terminal server shares over the network
  --device usb:SERIAL, usb:VID:PID, usb:VID:PID:SERIAL
                    the USB adapter with this serial number or these ids
                    (hex), wherever it is plugged in; also for --bench
  --list-ports      list the serial ports present and what they are
  --udev-rule PORT  print a udev rule naming PORT's adapter /dev/kestrune-SERIAL
                    and keeping ModemManager off it, and how to install it
  --version-only    show the Kestrune's firmware version and send nothing else
  --images          list the firmware images this program carries
  --bench PORT...   update the Kestrunes on these ports (as --device) at once
  --bench-sim N     the same with N simulated Kestrunes; --bench-fault K:SPEC
                    makes the K-th of them misbehave
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
                    run CMD (system shell) to put each unit into bootstrap
                    mode, instead of asking; KESTRUNE_PORT and KESTRUNE_SLOT
                    are in its environment
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

Simulated Kestrune only (--paced also with --device PATH):
      --paced       take the time each character needs on a real cable; with
                    --device, each write waits for its wire time as a UART's
                    does (for a pseudo-terminal, e.g. from kestrune-sim --paced)
      --latency MS  hold answers up to MS, as a USB adapter's latency timer does
      --fault KIND:EXCHANGE[:OCCURRENCE[:ARGUMENT]]
                    make the simulated Kestrune misbehave

Exit status:
  0 success (on a bench: every device)   1 an update stage failed
  2 usage error (a bad port name too)    3 port unavailable
  4 cancelled before the update began    5 no pseudo-terminal for the simulator
  6 --version-only got no version        130 interrupted (Ctrl-C)
  143 terminated
)";

// A local terminal device's writes can be held for their wire time: what a
// pseudo-terminal lacks, and what a UART's drain takes anyway.
const bool kPacesLocalDevices = true;
