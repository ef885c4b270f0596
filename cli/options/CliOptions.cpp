// The command line as getopt_long reads it (glibc and MinGW-w64 alike):
// --option VALUE and --option=VALUE, bundled short options (-yq), an
// unambiguous prefix of a long option, and -- before arguments that are no
// options. Each option is one row of a table; what the options mean
// together is checked once all are read.

#include "CliOptions.h"

#include "FaultSpec.h"
#include "OptionConflicts.h"
#include "OptionSuggestion.h"
#include "PortName.h"

#include <getopt.h>

#include <cstdlib>

namespace {

using Apply = bool (*)(CliOptions& options, const std::string& value, std::string& error);

struct OptionRow {
    const char* name; // the long name, without its dashes
    char shortName;   // 0: none
    bool bTakesValue;
    Apply apply;
};

bool ParseNumber(const std::string& text, uint32_t low, uint32_t high, uint32_t& value)
{
    char* end = nullptr;
    const unsigned long number = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || text[0] == '-' || number < low || number > high)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

bool Refuse(std::string& error, std::string text)
{
    error = std::move(text);
    return false;
}

// Help and version win over anything else on the line.
void SetAction(CliOptions& options, CliAction action)
{
    if (options.action != CliAction::Help && options.action != CliAction::Version)
        options.action = action;
}

bool TakeHelp(CliOptions& o, const std::string&, std::string&)
{
    o.action = CliAction::Help;
    return true;
}

bool TakeVersion(CliOptions& o, const std::string&, std::string&)
{
    o.action = o.action == CliAction::Help ? CliAction::Help : CliAction::Version;
    return true;
}

template <CliAction action>
bool TakeAction(CliOptions& o, const std::string&, std::string&)
{
    SetAction(o, action);
    return true;
}

template <bool CliOptions::*flag>
bool TakeFlag(CliOptions& o, const std::string&, std::string&)
{
    o.*flag = true;
    return true;
}

template <std::string CliOptions::*text>
bool TakeText(CliOptions& o, const std::string& value, std::string&)
{
    o.*text = value;
    return true;
}

// --port and --device: a COM number goes to port, any other name to
// device. --port also takes auto, but no bare word for a path ("Auto").
template <bool bPort>
bool TakePortName(CliOptions& o, const std::string& value, std::string& error)
{
    (bPort ? o.bPortGiven : o.bDeviceGiven) = true;
    o.bAutoPort = bPort && value == "auto";
    o.port = 0;
    o.device.clear();
    if (o.bAutoPort)
        return true;
    std::string problem;
    const auto name = ParsePortName(value, problem);
    if (name && bPort && name->kind == PortName::Kind::Path && value.find_first_of("/\\") == std::string::npos)
        problem = "'" + value + "' is no port: give " + kPortKinds + ", or auto";
    if (!name || !problem.empty())
        return Refuse(error, (bPort ? "--port: " : "--device: ") + problem);
    if (name->kind == PortName::Kind::ComNumber)
        o.port = name->number;
    else
        o.device = value;
    return true;
}

bool TakeFault(CliOptions& o, const std::string& value, std::string& error)
{
    const auto fault = ParseFault(value);
    if (!fault)
        return Refuse(error, "--fault: not a fault: '" + value + "'");
    o.faults.push_back(*fault);
    return true;
}

bool TakeLatency(CliOptions& o, const std::string& value, std::string& error)
{
    if (!ParseNumber(value, 0, 1000, o.latencyMs))
        return Refuse(error, "--latency takes milliseconds from 0 to 1000, not '" + value + "'");
    return true;
}

// The ports of --bench are the arguments that are no options.
bool TakeBench(CliOptions& o, const std::string&, std::string&)
{
    SetAction(o, CliAction::Bench);
    return o.bBenchPorts = true;
}

bool TakeBenchSim(CliOptions& o, const std::string& value, std::string& error)
{
    if (!ParseNumber(value, 1, 64, o.benchSimulated))
        return Refuse(error, "--bench-sim takes a number of devices from 1 to 64, not '" + value + "'");
    SetAction(o, CliAction::Bench);
    return true;
}

bool TakeBenchFault(CliOptions& o, const std::string& value, std::string& error)
{
    const size_t colon = value.find(':');
    const auto fault = ParseFault(colon == std::string::npos ? "" : value.substr(colon + 1));
    uint32_t device = 0;
    if (!ParseNumber(value.substr(0, colon), 1, 64, device) || !fault)
        return Refuse(error, "--bench-fault takes DEVICE:KIND:EXCHANGE[:OCCURRENCE[:ARGUMENT]], not '" + value + "'");
    o.benchFaults.push_back(BenchFault{device, *fault});
    return true;
}

bool TakeHookTimeout(CliOptions& o, const std::string& value, std::string& error)
{
    if (!ParseNumber(value, 1, 3600, o.hookTimeoutS))
        return Refuse(error, "--hook-timeout takes seconds from 1 to 3600, not '" + value + "'");
    return true;
}

bool TakeUnits(CliOptions& o, const std::string& value, std::string& error)
{
    if (!ParseNumber(value, 1, 1000000, o.units))
        return Refuse(error, "--units takes a number of units from 1 to 1000000, not '" + value + "'");
    return true;
}

bool TakeGuiPort(CliOptions& o, const std::string& value, std::string& error)
{
    if (!ParseNumber(value, 1, 65535, o.guiPort))
        return Refuse(error, "--gui-port takes a TCP port from 1 to 65535, not '" + value + "'");
    return true;
}

bool TakeUdevRule(CliOptions& o, const std::string& value, std::string& error)
{
    std::string problem;
    if (!ParsePortName(value, problem))
        return Refuse(error, "--udev-rule: " + problem);
    SetAction(o, CliAction::UdevRule);
    o.udevRulePort = value;
    return true;
}

const OptionRow kOptions[] = {
    {"help", 'h', false, TakeHelp},
    {"version", 'V', false, TakeVersion},
    {"version-only", 0, false, TakeAction<CliAction::VersionOnly>},
    {"list-ports", 0, false, TakeAction<CliAction::ListPorts>},
    {"images", 0, false, TakeAction<CliAction::ListImages>},
    {"yes", 'y', false, TakeFlag<&CliOptions::bAssumeYes>},
    {"quiet", 'q', false, TakeFlag<&CliOptions::bQuiet>},
    {"json", 0, false, TakeFlag<&CliOptions::bJson>},
    {"paced", 0, false, TakeFlag<&CliOptions::bPaced>},
    {"port", 'p', true, TakePortName<true>},
    {"device", 0, true, TakePortName<false>},
    {"fault", 0, true, TakeFault},
    {"trace", 0, true, TakeText<&CliOptions::tracePath>},
    {"latency", 0, true, TakeLatency},
    {"bench", 0, false, TakeBench},
    {"bench-sim", 0, true, TakeBenchSim},
    {"bench-fault", 0, true, TakeBenchFault},
    {"udev-rule", 0, true, TakeUdevRule},
    {"record", 0, true, TakeText<&CliOptions::recordPath>},
    {"bootstrap-command", 0, true, TakeText<&CliOptions::bootstrapCommand>},
    {"power-cycle-command", 0, true, TakeText<&CliOptions::powerCycleCommand>},
    {"hook-timeout", 0, true, TakeHookTimeout},
    {"skip-current", 0, false, TakeFlag<&CliOptions::bSkipCurrent>},
    {"station", 0, false, TakeFlag<&CliOptions::bStation>},
    {"units", 0, true, TakeUnits},
    {"gui", 0, false, TakeFlag<&CliOptions::bGui>},
    {"gui-port", 0, true, TakeGuiPort},
    {"no-browser", 0, false, TakeFlag<&CliOptions::bNoBrowser>},
    {"next-unit-command", 0, true, TakeText<&CliOptions::nextUnitCommand>},
    {"unit-id-command", 0, true, TakeText<&CliOptions::unitIdCommand>},
    {"ask-unit-id", 0, false, TakeFlag<&CliOptions::bAskUnitId>},
};

constexpr int kLongCodes = 256; // getopt's code of row i is kLongCodes + i

std::string NameOf(int code)
{
    if (code >= kLongCodes)
        return std::string("--") + kOptions[code - kLongCodes].name;
    for (const OptionRow& row : kOptions)
        if (row.shortName == code)
            return std::string("--") + row.name;
    return std::string("-") + static_cast<char>(code);
}

const OptionRow* RowOf(int code)
{
    if (code >= kLongCodes)
        return &kOptions[code - kLongCodes];
    for (const OptionRow& row : kOptions)
        if (row.shortName == code)
            return &row;
    return nullptr;
}

// Why getopt did not take an argument: unknown (with the nearest option),
// ambiguous, or a value given to an option that takes none.
std::string Unrecognised(const char* typed, int code)
{
    if (code >= kLongCodes)
        return NameOf(code) + " takes no value";
    if (code != 0)
        return std::string("unknown argument '-") + static_cast<char>(code) + "'";
    std::vector<std::string> names;
    for (const OptionRow& row : kOptions)
        names.emplace_back(std::string("--") + row.name);
    return UnknownOptionMessage(typed, names);
}

// The arguments that are no options: the ports of --bench, and nothing else.
bool TakeOperands(const std::vector<std::string>& operands, CliOptions& options, std::string& error)
{
    if (!options.bBenchPorts) {
        if (!operands.empty())
            return Refuse(error, "unknown argument '" + operands.front() + "'");
        return true;
    }
    if (operands.empty())
        return Refuse(error, "--bench needs one or more ports");
    std::string problem;
    for (const std::string& port : operands)
        if (!ParsePortName(port, problem))
            return Refuse(error, "--bench: " + problem);
    options.benchPorts = operands;
    return true;
}

} // namespace

std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error)
{
    std::vector<option> longOptions;
    std::string shortOptions = ":"; // a missing value is told apart from an unknown option
    for (size_t i = 0; i < std::size(kOptions); ++i) {
        const OptionRow& row = kOptions[i];
        longOptions.push_back(
            option{row.name, row.bTakesValue ? required_argument : no_argument, nullptr, kLongCodes + int(i)});
        if (row.shortName)
            shortOptions += std::string(1, row.shortName) + (row.bTakesValue ? ":" : "");
    }
    longOptions.push_back(option{});
    // getopt reorders the arguments it is given, so it works on copies.
    std::vector<std::string> words{"kestrune-update"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    // getopt keeps its place in globals of the C library: start it afresh, silent.
    optind = 0;
    opterr = 0;
    CliOptions options;
    for (int code; (code = getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), nullptr)) != -1;) {
        if (code == '?')
            return error = Unrecognised(argv[optind - 1], optopt), std::nullopt;
        if (code == ':')
            return error = NameOf(optopt) + " needs a value", std::nullopt;
        const OptionRow* row = RowOf(code);
        if (!row || !row->apply(options, row->bTakesValue && optarg ? optarg : "", error))
            return std::nullopt;
    }
    if (!TakeOperands(std::vector<std::string>(argv.begin() + optind, argv.end() - 1), options, error))
        return std::nullopt;
    error = Conflicts(options);
    if (!error.empty())
        return std::nullopt;
    return options;
}
