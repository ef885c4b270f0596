// What --help says on Windows, where ports are COM ports and no simulated
// Kestrune runs, and what --paced may pace here.

#include "CliOptions.h"
#include "CliUsage.h"

const PlatformUsage kPlatformUsage = {
    R"(usage: kestrune-update [-p N|auto | --device COMN|usb:SERIAL] [-y] [-q] [--json]
                       [--trace FILE|-]
       kestrune-update --version-only [-p N|auto | --device COMN|usb:SERIAL]
       kestrune-update --bench PORT...
)",
    R"(       kestrune-update --list-ports | --images | -h | -V
)",
    R"(
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
)",
    R"(      --bootstrap-command CMD
                    run CMD (cmd.exe) to put each unit into bootstrap mode,
                    instead of asking; KESTRUNE_PORT and KESTRUNE_SLOT are
                    in its environment
)",
    "",
    "no port given (the ports are listed)",
};

// A COM port's writes return once the driver has them; nothing here holds
// them for their wire time, and no simulated Kestrune runs on Windows.
const bool kPacesLocalDevices = false;
