#include "CliOptions.h"

#include "FaultSpec.h"

#include <cstdlib>

const char* const kCliUsage = "usage: kestrune-update [--port N | --device PATH] [-y] [-q] [--json]\n"
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
                              "                    (COMN on Windows), or rfc2217://HOST:PORT for a port that\n"
                              "                    ser2net or a terminal server shares over the network\n"
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
                              "Network ports: each line mode is confirmed by the server before the next\n"
                              "frame; an answer may take 100 ms plus the round trip measured on connecting.\n"
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

// Help and version win over anything else on the line.
void SetAction(CliOptions& options, CliAction action)
{
    if (options.action != CliAction::Help && options.action != CliAction::Version)
        options.action = action;
}

// Options that stand alone; false for any other argument.
bool ParseFlag(const std::string& arg, CliOptions& options)
{
    if (arg == "-h" || arg == "--help")
        options.action = CliAction::Help;
    else if (arg == "-V" || arg == "--version")
        options.action = options.action == CliAction::Help ? CliAction::Help : CliAction::Version;
    else if (arg == "--version-only")
        SetAction(options, CliAction::VersionOnly);
    else if (arg == "--list-ports")
        SetAction(options, CliAction::ListPorts);
    else if (arg == "--images")
        SetAction(options, CliAction::ListImages);
    else if (arg == "-y" || arg == "--yes")
        options.bAssumeYes = true;
    else if (arg == "-q" || arg == "--quiet")
        options.bQuiet = true;
    else if (arg == "--json")
        options.bJson = true;
    else if (arg == "--paced")
        options.bPaced = true;
    else
        return false;
    return true;
}

bool TakesValue(const std::string& arg)
{
    return arg == "--port" || arg == "--device" || arg == "--fault" || arg == "--trace" || arg == "--latency" ||
           arg == "--bench-sim" || arg == "--bench-fault";
}

// An option and its value; the error names what was wrong.
bool ParseValue(const std::string& arg, const std::string& value, CliOptions& options, std::string& error)
{
    uint32_t number = 0;
    if (arg == "--port") {
        if (!ParseNumber(value, 1, 255, number))
            return error = "--port takes a port number from 1 to 255, not '" + value + "'", false;
        options.port = static_cast<uint8_t>(number);
    } else if (arg == "--device") {
        options.device = value;
    } else if (arg == "--fault") {
        const auto fault = ParseFault(value);
        if (!fault)
            return error = "--fault: not a fault: '" + value + "'", false;
        options.faults.push_back(*fault);
    } else if (arg == "--trace") {
        options.tracePath = value;
    } else if (arg == "--latency") {
        if (!ParseNumber(value, 0, 1000, number))
            return error = "--latency takes milliseconds from 0 to 1000, not '" + value + "'", false;
        options.latencyMs = number;
    } else if (arg == "--bench-sim") {
        if (!ParseNumber(value, 1, 64, number))
            return error = "--bench-sim takes a number of devices from 1 to 64, not '" + value + "'", false;
        SetAction(options, CliAction::Bench);
        options.benchSimulated = number;
    } else {
        const size_t colon = value.find(':');
        const auto fault = ParseFault(colon == std::string::npos ? "" : value.substr(colon + 1));
        if (!ParseNumber(value.substr(0, colon), 1, 64, number) || !fault)
            return error = "--bench-fault takes DEVICE:KIND:EXCHANGE[:OCCURRENCE[:ARGUMENT]], not '" + value + "'",
                   false;
        options.benchFaults.push_back(BenchFault{number, *fault});
    }
    return true;
}

bool SimulatorOnlyOptions(const CliOptions& options)
{
    return options.bPaced || options.latencyMs || !options.faults.empty();
}

// What the options mean together; empty when they fit.
std::string Conflicts(const CliOptions& options)
{
    if (options.action == CliAction::Help || options.action == CliAction::Version)
        return "";
    if (options.port != 0 && !options.device.empty())
        return "--port and --device name two ports; give one";
    if (options.action != CliAction::Bench)
        return !options.UsesSimulator() && SimulatorOnlyOptions(options)
                   ? "--paced, --latency and --fault apply to the simulated Kestrune only"
                   : "";
    if (options.port != 0 || !options.device.empty() || (options.benchSimulated && !options.benchPorts.empty()))
        return "--bench and --bench-sim name the devices; give one of them only";
    if (!options.benchFaults.empty() && !options.benchSimulated)
        return "--bench-fault applies to --bench-sim only";
    for (const BenchFault& fault : options.benchFaults)
        if (fault.device > options.benchSimulated)
            return "--bench-fault names device " + std::to_string(fault.device) + " of " +
                   std::to_string(options.benchSimulated);
    if (!options.benchPorts.empty() && SimulatorOnlyOptions(options))
        return "--paced, --latency and --fault apply to simulated Kestrunes only";
    return "";
}

} // namespace

std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error)
{
    CliOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (ParseFlag(arg, options))
            continue;
        if (arg == "--bench") {
            SetAction(options, CliAction::Bench);
            while (i + 1 < args.size() && (args[i + 1].empty() || args[i + 1][0] != '-'))
                options.benchPorts.push_back(args[++i]);
            if (options.benchPorts.empty())
                return error = "--bench needs one or more ports", std::nullopt;
            continue;
        }
        if (!TakesValue(arg))
            return error = "unknown argument '" + arg + "'", std::nullopt;
        if (i + 1 >= args.size())
            return error = arg + " needs a value", std::nullopt;
        if (!ParseValue(arg, args[++i], options, error))
            return std::nullopt;
    }
    error = Conflicts(options);
    if (!error.empty())
        return std::nullopt;
    return options;
}
