#include "OwnerPorts.h"

#include "DeviceLink.h"
#include "Interrupts.h"
#include "PortDiagnosis.h"
#include "PortIdentity.h"
#include "PortName.h"
#include "UpdateRun.h"
#include "WireTrace.h"

#include <cstdio>

namespace {

class TracedQuery : public LinkObserver {
public:
    explicit TracedQuery(WireTrace* trace) : m_pTrace(trace) {}
    void OnFrame(Direction direction, int16_t mode, const ExchangeLabel& exchange, const uint8_t* bytes,
                 uint32_t count) override
    {
        if (m_pTrace)
            m_pTrace->Frame(direction, mode, exchange, bytes, count);
        if (direction == Direction::Received)
            reply.assign(bytes, bytes + count);
    }
    bool StopRequested() override { return InterruptSignal() != 0; }

    std::vector<uint8_t> reply;

private:
    WireTrace* m_pTrace;
};

const char* OutcomeName(PortProbe::Outcome outcome)
{
    switch (outcome) {
    case PortProbe::Outcome::Held: return "held";
    case PortProbe::Outcome::Unopened: return "unopened";
    case PortProbe::Outcome::Garbled: return "garbled";
    case PortProbe::Outcome::Answered: return "answered";
    default: return "silent";
    }
}

nlohmann::json PortEntry(const PortInfo& port, const std::vector<PortInfo>& ports)
{
    nlohmann::json entry{{"id", port.path},
                         {"path", port.path},
                         {"stableName", port.stableName},
                         {"description", port.description},
                         {"driver", port.driver},
                         {"usb", port.bUsb},
                         {"manufacturer", port.manufacturer},
                         {"product", port.product},
                         {"serial", port.serial},
                         {"usbName", UsbNameOf(port, ports)},
                         {"simulated", false}};
    if (port.bUsb) {
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04x:%04x", port.vid, port.pid);
        entry["ids"] = ids;
    }
    if (const uint8_t number = ComNumberOf(port.path))
        entry["com"] = "COM" + std::to_string(number);
    return entry;
}

} // namespace

nlohmann::json PortsSection(const std::vector<PortInfo>& ports, const std::string& simPath)
{
    nlohmann::json section = nlohmann::json::array();
    if (!simPath.empty())
        section.push_back(nlohmann::json{{"id", kSimulatedPortId},
                                         {"path", simPath},
                                         {"description", "simulated Kestrune (no real device)"},
                                         {"usb", false},
                                         {"simulated", true}});
    for (const PortInfo& port : ports)
        section.push_back(PortEntry(port, ports));
    return section;
}

nlohmann::json AskVersion(const std::string& path, WireTrace* trace)
{
    const UpdateGuard hold;
    CDeviceLink link;
    if (!link.Open(path)) {
        const PortOpenFailure& failure = link.OpenFailure();
        return nlohmann::json{{"outcome", failure.cause == PortOpenFailure::Cause::Held ? "held" : "unopened"},
                              {"detail", FirstLine(DescribeOpenFailure(path, failure))}};
    }
    TracedQuery query(trace);
    link.SetObserver(&query);
    const auto version = QueryDeviceVersion(link);
    link.Close();
    if (version && IsVersionFrame(query.reply))
        return nlohmann::json{{"outcome", "answered"}, {"version", *version}};
    return nlohmann::json{{"outcome", query.reply.empty() ? "silent" : "garbled"}};
}

nlohmann::json ProbeAnswer(const PortProbe& probe)
{
    nlohmann::json answer{{"outcome", OutcomeName(probe.eOutcome)}};
    if (probe.eOutcome == PortProbe::Outcome::Answered)
        answer["version"] = probe.version;
    if (!probe.detail.empty())
        answer["detail"] = probe.detail;
    return answer;
}
