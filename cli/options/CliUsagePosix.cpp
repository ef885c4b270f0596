// What --help says on Linux, where a simulated Kestrune runs without a port,
// and what --paced may pace here.

#include "CliOptions.h"
#include "CliUsage.h"

const PlatformUsage kPlatformUsage = {
    R"(usage: kestrune-update [-p N|auto | --device PATH] [-y] [-q] [--json]
                       [--trace FILE|-]
       kestrune-update --version-only [-p N|auto | --device PATH]
       kestrune-update --bench PORT... | --bench-sim N [--bench-fault K:SPEC]...
)",
    R"(       kestrune-update --list-ports | --udev-rule PORT | --images | -h | -V
)",
    R"(
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
)",
    R"(      --bootstrap-command CMD
                    run CMD (system shell) to put each unit into bootstrap
                    mode, instead of asking; KESTRUNE_PORT and KESTRUNE_SLOT
                    are in its environment
)",
    R"(Simulated Kestrune only (--paced also with --device PATH):
      --paced       take the time each character needs on a real cable; with
                    --device, each write waits for its wire time as a UART's
                    does (for a pseudo-terminal, e.g. from kestrune-sim --paced)
      --latency MS  hold answers up to MS, as a USB adapter's latency timer does
      --fault KIND:EXCHANGE[:OCCURRENCE[:ARGUMENT]]
                    make the simulated Kestrune misbehave

)",
    "no pseudo-terminal for the simulator",
};

// A local terminal device's writes can be held for their wire time: what a
// pseudo-terminal lacks, and what a UART's drain takes anyway.
const bool kPacesLocalDevices = true;
