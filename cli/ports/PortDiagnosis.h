#pragma once
// Why a port could not be opened, said for a person: the name, the
// system's reason and what to do about it. It only formats what the open
// attempt found; the port is not opened again.

#include "SerialPort.h"

#include <string>

// Lines for stderr, without a final line end.
std::string DescribeOpenFailure(const std::string& name, const PortOpenFailure& failure);
// The same for a network port: the server, what went wrong in its words,
// and what the server needs.
std::string DescribeNetworkFailure(const std::string& name, const PortOpenFailure& failure);

// The first line of such a text, where a table row or a record has room
// for one.
inline std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }
