#include "UpdateTarget.h"

#include "DeviceLink.h"
#include "Interrupts.h"
#include "PortIdentity.h"
#include "PortName.h"
#include "UpdateRun.h"

UpdateTarget TargetForPort(const std::string& port)
{
    std::string problem; // none: the options were read through the same parser
    const auto name = ParsePortName(port, problem);
    if (!name || name->kind != PortName::Kind::ComNumber)
        return UpdateTarget{port, {}, port};
    return UpdateTarget{OpenName(*name), {}, ShownName(*name), nullptr, false, name->text};
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
