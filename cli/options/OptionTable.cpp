// Each option's row and what it does with its value: numbers within their
// range, port names read by ParsePortName, faults by ParseFault.

#include "OptionTable.h"

#include "FaultSpec.h"
#include "PortName.h"

#include <cstdlib>

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

} // namespace

std::span<const OptionRow> OptionRows() { return kOptions; }

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
