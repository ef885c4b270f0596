#include "PageFeed.h"

#include "PortIdentity.h"
#include "UnitRecord.h"

#include <cstdio>

namespace {

const char* const kSimulatedAdapter = "simulated Kestrune (no real device)";

std::string VersionText(const std::optional<std::string>& version) { return version ? *version : "-"; }

} // namespace

std::string AdapterText(const std::string& port, const std::vector<PortInfo>& ports)
{
    if (port.rfind("rfc2217://", 0) == 0)
        return "network port (RFC 2217)";
    const PortInfo* info = FindPort(port, ports);
    if (!info)
        return "";
    if (!info->bUsb)
        return info->description;
    std::string text = info->manufacturer;
    for (const std::string& part : {info->product, info->serial})
        if (!part.empty())
            text += (text.empty() ? "" : " ") + part;
    return text.empty() ? info->description : text;
}

void NamePageSlots(PageState& page, const std::vector<std::string>& names, bool simulated)
{
    const std::vector<PortInfo> ports = simulated ? std::vector<PortInfo>() : DiscoverPorts();
    for (size_t i = 0; i < names.size(); ++i) {
        const auto slot = static_cast<uint32_t>(i + 1);
        page.ResetSlot(slot);
        page.NameSlot(slot, names[i], simulated ? kSimulatedAdapter : AdapterText(names[i], ports), simulated);
    }
}

std::string UnitLine(uint32_t slot, const std::string& name, const UnitStatus& status, double seconds)
{
    const UnitResult result = RecordResult(status.outcome);
    std::string line =
        UtcTimestamp().substr(11, 8) + " slot " + std::to_string(slot) + " " + name + ": " + UnitResultName(result);
    if (status.failedStage != 0 && !status.message.empty())
        line += " in stage " + std::to_string(status.failedStage) + ", " + status.message;
    if (!status.detail.empty())
        line += " " + status.detail;
    else if (!status.error.empty())
        line += " " + status.error.substr(0, status.error.find('\n'));
    char tail[64];
    std::snprintf(tail, sizeof tail, " (%.1f s)", seconds);
    return line + "; " + VersionText(status.versionBefore) + " -> " + VersionText(status.versionAfter) + tail;
}

void UnitFinished(PageState& page, uint32_t slot, const std::string& name, const UnitStatus& status, double seconds)
{
    page.RecordLine(UnitLine(slot, name, status, seconds));
    page.Counted(RecordResult(status.outcome));
}
