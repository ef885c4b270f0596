// Ports by name, of every kind: local ones, and rfc2217://HOST:PORT.

#include "NetworkPort.h"

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name, const PortOptions& options,
                                           PortOpenFailure& failure)
{
    failure = PortOpenFailure{};
    return IsNetworkPortName(name) ? OpenNetworkPort(name, options, failure) : OpenLocalPort(name, options, failure);
}
