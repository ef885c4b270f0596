// Which kind of port a name stands for.

#include "PortBackends.h"

namespace {

constexpr char kNetworkScheme[] = "rfc2217://";

} // namespace

bool IsNetworkPortName(const std::string& name) { return name.rfind(kNetworkScheme, 0) == 0; }

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name, const PortOptions& options,
                                           PortOpenFailure& failure)
{
    failure = PortOpenFailure{};
    return OpenLocalPort(name, options, failure);
}
