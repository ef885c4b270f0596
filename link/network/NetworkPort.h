#pragma once
// A serial port on another machine, reached as rfc2217://HOST:PORT.

#include "SerialPort.h"

// True for names of the shape rfc2217://...
bool IsNetworkPortName(const std::string& name);
// Splits a network port's name into host and port; false when the name
// does not have the shape rfc2217://HOST:PORT.
bool ParseNetworkName(const std::string& name, std::string& host, std::string& port);
// HOST:PORT as messages and the record name the server, an IPv6 address in brackets.
std::string NetworkEndpoint(const std::string& host, const std::string& port);
std::unique_ptr<SerialPort> OpenNetworkPort(const std::string& name, const PortOptions& options,
                                            PortOpenFailure& failure);
