// Ports by name, of every kind: local ones, and rfc2217://HOST:PORT.

#include "PortBackends.h"
#include "SerialChannel.h"

bool IsNetworkPortName(const std::string& name) { return name.rfind("rfc2217://", 0) == 0; }

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name, const PortOptions& options,
                                           PortOpenFailure& failure)
{
    failure = PortOpenFailure{};
    return IsNetworkPortName(name) ? OpenNetworkPort(name, options, failure) : OpenLocalPort(name, options, failure);
}

bool CSerialChannel::Open(uint8_t port) { return Open(PortNameOf(port)); }

bool CSerialChannel::Open(const std::string& name, const PortOptions& options)
{
    Close();
    return Open(OpenSerialPort(name, options, m_openFailure));
}
