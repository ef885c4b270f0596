#include "OptionConflicts.h"

#include "NetworkPort.h"

namespace {

bool SimulatorOnlyOptions(const CliOptions& options)
{
    return options.bPaced || options.latencyMs || !options.faults.empty();
}

// What a single update's port takes of --paced, --latency and --fault: the
// simulated Kestrune all three; a terminal device named by --device, where
// this platform can pace it, --paced (a pseudo-terminal then keeps a cable's
// timing). A network port's timing is its server's.
std::string DeviceConflicts(const CliOptions& options)
{
    if (options.UsesSimulator())
        return "";
    if (options.latencyMs || !options.faults.empty())
        return "--latency and --fault apply to the simulated Kestrune only";
    if (!options.bPaced)
        return "";
    if (!kPacesLocalDevices)
        return "--paced applies to the simulated Kestrune on Linux only";
    if (options.device.empty() || IsNetworkPortName(options.device))
        return "--paced applies to the simulated Kestrune and to a terminal device named by --device PATH only";
    return "";
}

bool StationOptions(const CliOptions& options)
{
    return !options.recordPath.empty() || !options.bootstrapCommand.empty() || !options.powerCycleCommand.empty() ||
           options.bSkipCurrent || options.bStation || !options.unitIdCommand.empty() || options.bAskUnitId;
}

// --gui serves the page for a person's own Kestrune (the ports the page
// lists) or for a bench or station.
std::string GuiConflicts(const CliOptions& options)
{
    if (!options.bGui)
        return options.guiPort || options.bNoBrowser ? "--gui-port and --no-browser apply to --gui only" : "";
    if (options.action != CliAction::Update && options.action != CliAction::Bench)
        return "--gui shows updates; it does not go with --version-only, --list-ports, --images or --udev-rule";
    if (options.action == CliAction::Update && (options.bPortGiven || options.bDeviceGiven))
        return "--gui lists the ports on its page; give no --port or --device";
    return "";
}

} // namespace

std::string Conflicts(const CliOptions& options)
{
    if (options.action == CliAction::Help || options.action == CliAction::Version)
        return "";
    if (options.action != CliAction::Update && options.action != CliAction::Bench && StationOptions(options))
        return "--record, the hooks, --skip-current, --station and the unit's id apply to updates";
    if (std::string gui = GuiConflicts(options); !gui.empty())
        return gui;
    if (options.units && !options.bStation)
        return "--units applies to --station only";
    if (!options.nextUnitCommand.empty() && !options.bStation)
        return "--next-unit-command applies to --station only";
    if (!options.unitIdCommand.empty() && options.bAskUnitId)
        return "--unit-id-command and --ask-unit-id both give the unit's id; give one";
    if (options.bPortGiven && options.bDeviceGiven)
        return "--port and --device name two ports; give one";
    if (options.bAutoPort && options.action == CliAction::Bench)
        return "--port auto finds one Kestrune; a bench names its ports";
    if (options.action != CliAction::Bench)
        return DeviceConflicts(options);
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
