#include "StationSteps.h"

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

} // namespace

std::optional<std::string> AdapterOf(const std::string& portName)
{
    std::string problem;
    if (const auto name = ParsePortName(portName, problem); name && name->kind == PortName::Kind::Network)
        return name->server;
    const std::vector<PortInfo> ports = DiscoverPorts();
    const PortInfo* port = FindPort(portName, ports);
    if (!port)
        return std::nullopt;
    if (!port->serial.empty())
        return port->serial;
    if (!port->stableName.empty())
        return port->stableName;
    return std::nullopt;
}

std::optional<std::string> QueryAfterRestart(CDeviceLink& link, bool (*stopRequested)())
{
    const auto deadline = std::chrono::steady_clock::now() + kRestartAnswerMs;
    for (;;) {
        if (auto version = QueryDeviceVersion(link))
            return version;
        if (stopRequested() || std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(kRestartRetryMs);
    }
}
