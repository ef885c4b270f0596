#include "UpdateTarget.h"

#include "DeviceLink.h"
#include "Interrupts.h"
#include "PortIdentity.h"
#include "UpdateRun.h"

#include <algorithm>
#include <cctype>

UpdateTarget TargetForPort(const std::string& port)
{
    const bool number = !port.empty() && std::all_of(port.begin(), port.end(), [](char c) { return std::isdigit(c); });
    if (!number)
        return UpdateTarget{port, {}, port};
    const std::string com = "COM" + port;
    const std::string name = PortNameOf(static_cast<uint8_t>(std::stoi(port)));
    return UpdateTarget{name, {}, name == com ? com : com + " (" + name + ")", nullptr, false, com};
}

std::string GivenPort(const UpdateTarget& target) { return target.given.empty() ? target.portName : target.given; }

std::optional<std::string> PeekVersion(const UpdateTarget& named)
{
    std::string path = named.portName;
    PortInfo port;
    std::string error;
    if (IsUsbName(path) && !ResolveUsbName(path, DiscoverPorts(), port, error))
        return std::nullopt;
    if (IsUsbName(path))
        path = port.path;
    const UpdateGuard hold;
    CDeviceLink link;
    if (!link.Open(path, named.portOptions))
        return std::nullopt;
    return QueryDeviceVersion(link);
}
