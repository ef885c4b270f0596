#pragma once
// The kinds of port behind SerialPort, each in a file of its own: the
// platform's local serial ports, and ports reached over the network
// (rfc2217://HOST:PORT).

#include "SerialPort.h"

// A terminal device on POSIX, a COM port on Windows.
std::unique_ptr<SerialPort> OpenLocalPort(const std::string& name, const PortOptions& options,
                                          PortOpenFailure& failure);
std::unique_ptr<SerialPort> OpenNetworkPort(const std::string& name, const PortOptions& options,
                                            PortOpenFailure& failure);
