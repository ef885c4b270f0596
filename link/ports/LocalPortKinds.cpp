// Ports by name for the dialog program, which offers COM1 to COM3: local
// ports only, so that it carries no network code.

#include "SerialPort.h"

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name, const PortOptions& options,
                                           PortOpenFailure& failure)
{
    failure = PortOpenFailure{};
    return OpenLocalPort(name, options, failure);
}
