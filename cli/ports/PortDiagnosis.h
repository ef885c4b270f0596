#pragma once
// Why a port could not be opened or would not take a line setting, said
// for a person: the name, what was asked, the system's reason and what to
// do about it. It only formats what the port found; nothing is tried again.

#include "SerialPort.h"

#include <string>

class CSerialChannel;

// Lines for stderr, without a final line end.
std::string DescribeOpenFailure(const std::string& name, const PortOpenFailure& failure);
// The same for a network port: the server, what went wrong in its words,
// and what the server needs.
std::string DescribeNetworkFailure(const std::string& name, const PortOpenFailure& failure);

// A line setting the port would not take, with its subject: "COM5 refused
// 38400 bit/s, 8 data bits, odd parity: Invalid parameter.", the system's
// or the driver's words after the colon; where the parity was refused,
// NoParityAdvice for the driver ("" where none is known) on a line of its
// own. A server's words name it and what it set, and stand as they are; a
// lost adapter is named with the port.
std::string DescribeSettingRefusal(const std::string& name, const LineSettings& asked, const PortFailure& failure,
                                   const std::string& driver);
// The same for the channel's last line setting, on the port of this name,
// the driver found among the ports present; "" where the setting was taken.
std::string DescribeLineSettingFailure(const std::string& name, const CSerialChannel& channel);

// The first line of such a text, where a table row or a record has room
// for one.
inline std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }
