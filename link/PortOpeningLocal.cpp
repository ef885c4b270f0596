// Ports by name for the dialog program, which offers COM1 to COM3: local
// ports only, so that it carries no network code.

#include "PortBackends.h"
#include "SerialChannel.h"

bool IsNetworkPortName(const std::string&) { return false; }

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name, const PortOptions& options,
                                           PortOpenFailure& failure)
{
    failure = PortOpenFailure{};
    return OpenLocalPort(name, options, failure);
}

bool CSerialChannel::Open(uint8_t port) { return Open(PortNameOf(port)); }

bool CSerialChannel::Open(const std::string& name, const PortOptions& options)
{
    Close();
    return Open(OpenSerialPort(name, options, m_openFailure));
}
