#include "UnitSteps.h"

#include "Interrupts.h"
#include "PortIdentity.h"
#include "PortName.h"
#include "UpdateRun.h"

#include <chrono>
#include <thread>

namespace {

// A power-cycled Kestrune needs a moment before its application firmware
// answers: asked again within this time.
constexpr auto kRestartAnswerMs = std::chrono::milliseconds(5000);
constexpr auto kRestartRetryMs = std::chrono::milliseconds(250);

bool StopRequested() { return InterruptSignal() != 0; }

} // namespace

std::string GivenPort(const UpdateTarget& target) { return target.given.empty() ? target.portName : target.given; }

HookResult RunUnitHook(const char* name, const std::string& command, const CliOptions& options,
                       const UpdateTarget& target, const UnitRun& unit)
{
    return RunHook(
        HookCall{name, command, GivenPort(target), unit.slot, options.hookTimeoutS, unit.hookOutput, StopRequested});
}

std::optional<std::string> AdapterOf(const UpdateTarget& target)
{
    if (target.pSim)
        return std::nullopt;
    std::string problem;
    if (const auto name = ParsePortName(target.portName, problem); name && name->kind == PortName::Kind::Network)
        return name->server;
    const std::vector<PortInfo> ports = DiscoverPorts();
    const PortInfo* port = FindPort(target.portName, ports);
    if (!port)
        return std::nullopt;
    if (!port->serial.empty())
        return port->serial;
    if (!port->stableName.empty())
        return port->stableName;
    return std::nullopt;
}

std::optional<std::string> QueryAfterRestart(CDeviceLink& link)
{
    const auto deadline = std::chrono::steady_clock::now() + kRestartAnswerMs;
    for (;;) {
        if (auto version = QueryDeviceVersion(link))
            return version;
        if (InterruptSignal() != 0 || std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(kRestartRetryMs);
    }
}
