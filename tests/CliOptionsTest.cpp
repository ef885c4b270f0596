// The command line's arguments: what each option means, alone and together,
// and how a mistake is named.

#include "CliSupport.h"
#include "PortName.h"
#include "UpdateTarget.h"

namespace {

struct ArgsCase {
    std::vector<std::string> args;
    const char* error; // empty: accepted
};

TEST(CliOptions, TakeOptionsInAnyOrderAndNameWhatIsWrong)
{
    const ArgsCase cases[] = {
        {{}, ""},
        {{"--yes", "--port", "3", "-q"}, ""},
        {{"--port", "200", "--json", "--trace", "-"}, ""},
        {{"--paced", "--latency", "16", "--fault", "nak:program:7:0xFF"}, ""},
        {{"--list-ports", "-h"}, ""},
        {{"--port", "0"}, "--port: '0' is no port: COM numbers go from 1 to 255"},
        {{"--port", "3x"}, "'3x' is no port: give a COM number from 1 to 255 (5 or COM5), a device path"},
        {{"--port", "COM5"}, ""},
        {{"-p", "/dev/ttyUSB0", "-y"}, ""},
        {{"--port", "com0"}, "'com0' is no port: COM numbers go from 1 to 255"},
        {{"--port", "COM5x"}, "'COM5x' is no port"},
        {{"--port", "ttyUSB0"}, "'ttyUSB0' is no port: give a COM number"},
        {{"-p", "/dev/ttyUSB0", "--device", "/dev/ttyUSB1"}, "give one"},
        {{"--device", "COM5", "--port", "6"}, "give one"},
        {{"--device", "rfc2217://bench-pi"}, "'rfc2217://bench-pi' is no network port: write rfc2217://HOST:PORT"},
        {{"--device", "rfc2217://[fe80::1%eth0]:4001"}, ""},
        {{"--device", ""}, "--device: an empty port name"},
        {{"-y", "--port"}, "--port needs a value"},
        {{"--port", "1", "--device", "/dev/ttyUSB0"}, "give one"},
        {{"--fault", "explode:program"}, "not a fault: 'explode:program'"},
        {{"--port", "2", "--paced"}, "to a terminal device named by --device PATH only"},
        {{"--device", "/dev/ttyUSB0", "--latency", "16"}, "simulated Kestrune only"},
        {{"--device", "/dev/pts/7", "--paced", "-y"}, ""},
        {{"--device", "rfc2217://bench-pi:4001", "--paced"},
         "--paced applies to the simulated Kestrune and to a terminal"},
        {{"--device", "/dev/pts/7", "--paced", "--fault", "nak:program"},
         "--latency and --fault apply to the simulated"},
        {{"--yes", "COM1"}, "unknown argument 'COM1'"},
        {{"--bench", "1", "/dev/ttyUSB0", "-y"}, ""},
        {{"--bench-sim", "8", "--bench-fault", "3:nak:program:7", "--paced"}, ""},
        {{"--bench", "-y"}, "--bench needs one or more ports"},
        {{"--bench-sim", "2", "--bench-fault", "3:nak:program:1"}, "names device 3 of 2"},
        {{"--bench", "1", "--bench-fault", "1:nak:program"}, "--bench-fault applies to --bench-sim only"},
        {{"--bench-sim", "2", "--bench-fault", "x"}, "--bench-fault takes DEVICE:KIND"},
        {{"--port=3", "-yq", "--trace=-"}, ""},
        {{"--dev", "/dev/ttyUSB0", "--", "--bench"}, "unknown argument '--bench'"},
        {{"--bench", "--", "-dash-named-port"}, ""},
        {{"--devcie", "/dev/ttyUSB0"}, "unknown argument '--devcie'; did you mean --device?"},
        {{"--jsno"}, "did you mean --json?"},
        {{"--frobnicate"}, "unknown argument '--frobnicate'"},
        {{"--vers"}, "'--vers' is ambiguous; it could be --version or --version-only"},
        {{"--json=yes"}, "--json takes no value"},
        {{"-yx"}, "unknown argument '-x'"},
        {{"--port="}, "--port: an empty port name"},
        {{"--trace"}, "--trace needs a value"},
        {{"--port", "auto", "-y"}, ""},
        {{"--port=auto", "--version-only"}, ""},
        {{"--port", "Auto"},
         "--port: 'Auto' is no port: give a COM number from 1 to 255 (5 or COM5), a device path, "
         "usb:SERIAL or rfc2217://HOST:PORT, or auto"},
        {{"--port", "auto", "--device", "/dev/ttyUSB0"}, "give one"},
        {{"--port", "auto", "--paced"}, "to a terminal device named by --device PATH only"},
        {{"--port", "auto", "--bench", "1"}, "--port auto finds one Kestrune"},
        {{"--device", "usb:A10K3XYZ"}, ""},
        {{"--device=usb:0403:6001:A10K3XYZ", "--version-only"}, ""},
        {{"--device", "usb:"}, "'usb:' is no USB name: usb:SERIAL, usb:VID:PID or usb:VID:PID:SERIAL (ids in hex)"},
        {{"--device", "usb:0403:60011"}, "'usb:0403:60011' is no USB name"},
        {{"--bench", "usb:A10K3XYZ", "usb:1a86:7523", "-y"}, ""},
        {{"--bench", "3", "usb:04G3:6001"}, "'usb:04G3:6001' is no USB name"},
        {{"--bench", "0"}, "--bench: '0' is no port: COM numbers go from 1 to 255"},
        {{"--bench", "300", "-y"}, "--bench: '300' is no port: COM numbers go from 1 to 255"},
        {{"--bench", "99999999999", "-y"}, "--bench: '99999999999' is no port: COM numbers go from 1 to 255"},
        {{"--bench", "2", "-y", "0255"}, ""},
        {{"--bench", "COM5", "/dev/ttyUSB0", "usb:X", "rfc2217://bench-pi:4001", "-y"}, ""},
        {{"--bench", "/dev/ttyUSB0", "rfc2217://bench-pi:0"}, "--bench: 'rfc2217://bench-pi:0' is no network port"},
        {{"--udev-rule", "/dev/ttyUSB0"}, ""},
        {{"--udev-rule"}, "--udev-rule needs a value"},
        {{"--udev-rule", "usb:x:y"}, "is no USB name"},
        {{"--udev-rule", "256"}, "--udev-rule: '256' is no port"},
        {{"--record", "r.jsonl", "--bootstrap-command", "relay on", "--power-cycle-command", "relay cycle",
          "--hook-timeout", "5", "--skip-current", "--station", "--units", "10", "--device", "/dev/ttyUSB0"},
         ""},
        {{"--bench-sim", "2", "--station", "--record=r.csv"}, ""},
        {{"--units", "2"}, "--units applies to --station only"},
        {{"--bench-sim", "2", "--station", "--next-unit-command", "pedal", "--unit-id-command", "scan"}, ""},
        {{"--next-unit-command", "pedal"}, "--next-unit-command applies to --station only"},
        {{"--ask-unit-id", "--unit-id-command", "scan"}, "give one"},
        {{"--version-only", "--ask-unit-id"}, "apply to updates"},
        {{"--station", "--units", "0"}, "--units takes a number of units from 1"},
        {{"--hook-timeout", "0"}, "--hook-timeout takes seconds from 1 to 3600, not '0'"},
        {{"--version-only", "--record", "r.jsonl"}, "apply to updates"},
        {{"--list-ports", "--skip-current"}, "apply to updates"},
        {{"--gui", "--gui-port", "8080", "--no-browser", "--fault", "nak:program:7", "--json"}, ""},
        {{"--gui", "--bench-sim", "4", "--bench-fault", "2:nak:program:7", "-y"}, ""},
        {{"--gui", "--station", "--bench", "usb:A10K3XYZ"}, ""},
        {{"--gui-port", "8080"}, "--gui-port and --no-browser apply to --gui only"},
        {{"--no-browser"}, "--gui-port and --no-browser apply to --gui only"},
        {{"--gui", "--gui-port", "0"}, "--gui-port takes a TCP port from 1 to 65535, not '0'"},
        {{"--gui", "--gui-port", "65536"}, "--gui-port takes a TCP port from 1 to 65535"},
        {{"--gui", "--device", "/dev/ttyUSB0"}, "--gui lists the ports on its page; give no --port or --device"},
        {{"--gui", "--port", "auto"}, "--gui lists the ports on its page"},
        {{"--gui", "--list-ports"}, "--gui shows updates; it does not go with --version-only"},
        {{"--version-only", "--gui"}, "--gui shows updates"},
    };
    for (const ArgsCase& c : cases) {
        std::string error;
        const bool accepted = ParseCliOptions(c.args, error).has_value();
        EXPECT_EQ(accepted, *c.error == '\0') << c.error << error;
        EXPECT_TRUE(Has(error, c.error)) << error;
    }
    std::string error;
    const auto bundled = ParseCliOptions({"-yq", "--device=/dev/ttyUSB0"}, error);
    EXPECT_TRUE(bundled->bAssumeYes && bundled->bQuiet && bundled->device == "/dev/ttyUSB0");
    EXPECT_EQ(ParseCliOptions({"--bench", "1", "-y", "/dev/ttyUSB0"}, error)->benchPorts,
              (std::vector<std::string>{"1", "/dev/ttyUSB0"}));
    EXPECT_EQ(ParseCliOptions({"--images", "--version"}, error)->action, CliAction::Version);
    EXPECT_EQ(ParseCliOptions({"-V", "--help"}, error)->action, CliAction::Help);
    const auto autoPort = ParseCliOptions({"--port", "auto"}, error);
    EXPECT_TRUE(autoPort->bAutoPort && !autoPort->UsesSimulator() && autoPort->port == 0);
    // The spellings of other flashers: COM5 is --port 5, a path is --device.
    const auto com = ParseCliOptions({"--port", "COM5"}, error);
    EXPECT_TRUE(com->port == 5 && com->device.empty());
    const UpdateTarget target = TargetForPort(std::to_string(com->port));
    EXPECT_EQ(target.portName, "/dev/ttyS4");
    EXPECT_EQ(target.shownAs, "COM5 (/dev/ttyS4)");
    EXPECT_EQ(TargetForPort("com5").given, "COM5");
    EXPECT_EQ(ParseCliOptions({"--device", "COM7"}, error)->port, 7);
    const auto path = ParseCliOptions({"-p", "/dev/ttyUSB0"}, error);
    EXPECT_TRUE(path->port == 0 && path->device == "/dev/ttyUSB0" && !path->UsesSimulator());
    EXPECT_EQ(ParseCliOptions({"--port", "/dev/ttyUSB0", "--port", "3"}, error)->device, "");
    // A network port's server, as the record names its adapter.
    EXPECT_EQ(ParsePortName("rfc2217://[fe80::1%eth0]:4001", error)->server, "[fe80::1%eth0]:4001");
    EXPECT_EQ(ParsePortName("rfc2217://bench-pi:4001", error)->server, "bench-pi:4001");
    const auto rule = ParseCliOptions({"--udev-rule=usb:A10K3XYZ"}, error);
    EXPECT_TRUE(rule->action == CliAction::UdevRule && rule->udevRulePort == "usb:A10K3XYZ");
}

} // namespace
