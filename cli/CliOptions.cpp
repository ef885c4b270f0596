#include "CliOptions.h"

#include "FaultSpec.h"

#include <cstdlib>

const char* const kCliUsage =
    "usage: kestrune-update [--port N | --device PATH] [-y] [-q] [--json]\n"
    "                       [--trace FILE|-]\n"
    "       kestrune-update --version-only [--port N | --device PATH]\n"
    "       kestrune-update --bench PORT... | --bench-sim N [--bench-fault K:SPEC]...\n"
    "       kestrune-update --list-ports | --images | -h | -V\n"
    "\n"
    "Updates the firmware of a Kestrune attached to a serial port. Without --port\n"
    "or --device it updates a simulated Kestrune, which shows how an update goes.\n"
    "\n"
    "  --port N          use COMN (1-255); on Linux COMN is /dev/ttyS(N-1)\n"
    "  --device PATH     use this serial device, e.g. /dev/serial/by-id/usb-FTDI_...\n"
    "  --list-ports      list the serial ports present and what they are\n"
    "  --version-only    show the Kestrune's firmware version and send nothing else\n"
    "  --images          list the firmware images this program carries\n"
    "  --bench PORT...   update the Kestrunes on these ports (numbers, paths) at once\n"
    "  --bench-sim N     the same with N simulated Kestrunes; --bench-fault K:SPEC\n"
    "                    makes the K-th of them misbehave\n"
    "  -y, --yes         do not ask before updating or wait for the restart\n"
    "  -q, --quiet       show results and errors only\n"
    "      --json        write one JSON event per line to stdout\n"
    "      --trace FILE  write every exchange on the wire to FILE (- for stderr)\n"
    "  -h, --help        show this help\n"
    "  -V, --version     show the program's version and the firmware it carries\n"
    "\n"
    "Simulated Kestrune only:\n"
    "      --paced       take the time each character needs on a real cable\n"
    "      --latency MS  hold answers up to MS, as a USB adapter's latency timer does\n"
    "      --fault KIND:EXCHANGE[:OCCURRENCE[:ARGUMENT]]\n"
    "                    make the simulated Kestrune misbehave\n"
    "\n"
    "Exit status:\n"
    "  0 success (on a bench: every device)   1 an update stage failed\n"
    "  2 usage error                          3 port unavailable\n"
    "  4 cancelled before the update began    5 no pseudo-terminal for the simulator\n"
    "  130 interrupted (Ctrl-C)               143 terminated\n";

namespace {

bool ParseNumber(const std::string& text, uint32_t low, uint32_t high, uint32_t& value)
{
    char* end = nullptr;
    const unsigned long number = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || text[0] == '-' || number < low || number > high)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

} // namespace

std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error)
{
    CliOptions options;
    auto fail = [&](std::string text) {
        error = std::move(text);
        return std::nullopt;
    };
    auto setAction = [&](CliAction action) {
        // Help and version win over anything else on the line.
        if (options.action != CliAction::Help && options.action != CliAction::Version)
            options.action = action;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--port" || arg == "--device" || arg == "--fault" || arg == "--trace" ||
                                arg == "--latency" || arg == "--bench-sim" || arg == "--bench-fault";
        if (takesValue && i + 1 >= args.size())
            return fail(arg + " needs a value");
        const std::string value = takesValue ? args[++i] : "";
        uint32_t number = 0;
        if (arg == "--port") {
            if (!ParseNumber(value, 1, 255, number))
                return fail("--port takes a port number from 1 to 255, not '" + value + "'");
            options.port = static_cast<uint8_t>(number);
        } else if (arg == "--device") {
#ifdef _WIN32
            return fail("--device: on Windows choose the port with --port N");
#endif
            options.device = value;
        } else if (arg == "--fault") {
            const auto fault = ParseFault(value);
            if (!fault)
                return fail("--fault: not a fault: '" + value + "'");
            options.faults.push_back(*fault);
        } else if (arg == "--trace") {
            options.tracePath = value;
        } else if (arg == "--latency") {
            if (!ParseNumber(value, 0, 1000, number))
                return fail("--latency takes milliseconds from 0 to 1000, not '" + value + "'");
            options.latencyMs = number;
        } else if (arg == "--bench") {
            setAction(CliAction::Bench);
            while (i + 1 < args.size() && (args[i + 1].empty() || args[i + 1][0] != '-'))
                options.benchPorts.push_back(args[++i]);
            if (options.benchPorts.empty())
                return fail("--bench needs one or more ports");
        } else if (arg == "--bench-sim") {
            if (!ParseNumber(value, 1, 64, number))
                return fail("--bench-sim takes a number of devices from 1 to 64, not '" + value + "'");
            setAction(CliAction::Bench);
            options.benchSimulated = number;
        } else if (arg == "--bench-fault") {
            const size_t colon = value.find(':');
            const auto fault = ParseFault(colon == std::string::npos ? "" : value.substr(colon + 1));
            if (!ParseNumber(value.substr(0, colon), 1, 64, number) || !fault)
                return fail("--bench-fault takes DEVICE:KIND:EXCHANGE[:OCCURRENCE[:ARGUMENT]], not '" + value + "'");
            options.benchFaults.push_back(BenchFault{number, *fault});
        } else if (arg == "-h" || arg == "--help") {
            options.action = CliAction::Help;
        } else if (arg == "-V" || arg == "--version") {
            if (options.action != CliAction::Help)
                options.action = CliAction::Version;
        } else if (arg == "--version-only") {
            setAction(CliAction::VersionOnly);
        } else if (arg == "--list-ports") {
            setAction(CliAction::ListPorts);
        } else if (arg == "--images") {
            setAction(CliAction::ListImages);
        } else if (arg == "-y" || arg == "--yes") {
            options.bAssumeYes = true;
        } else if (arg == "-q" || arg == "--quiet") {
            options.bQuiet = true;
        } else if (arg == "--json") {
            options.bJson = true;
        } else if (arg == "--paced") {
            options.bPaced = true;
        } else {
            return fail("unknown argument '" + arg + "'");
        }
    }
    if (options.action == CliAction::Help || options.action == CliAction::Version)
        return options;
    if (options.port != 0 && !options.device.empty())
        return fail("--port and --device name two ports; give one");
    if (options.action == CliAction::Bench) {
        if (options.port != 0 || !options.device.empty() || (options.benchSimulated && !options.benchPorts.empty()))
            return fail("--bench and --bench-sim name the devices; give one of them only");
        if (!options.benchFaults.empty() && !options.benchSimulated)
            return fail("--bench-fault applies to --bench-sim only");
        for (const BenchFault& fault : options.benchFaults)
            if (fault.device > options.benchSimulated)
                return fail("--bench-fault names device " + std::to_string(fault.device) + " of " +
                            std::to_string(options.benchSimulated));
        if (!options.benchPorts.empty() && (options.bPaced || options.latencyMs || !options.faults.empty()))
            return fail("--paced, --latency and --fault apply to simulated Kestrunes only");
        return options;
    }
    if (!options.UsesSimulator() && (options.bPaced || options.latencyMs || !options.faults.empty()))
        return fail("--paced, --latency and --fault apply to the simulated Kestrune only");
    return options;
}
