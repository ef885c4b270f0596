#pragma once
// --udev-rule PORT: a udev rule that gives the port's USB adapter a name of
// its own (/dev/kestrune-SERIAL), the dialout group, and keeps
// ModemManager off it, with the line that installs it.

#include "PortList.h"

#include <string>
#include <vector>

// The rule for this adapter; asTyped is how the person named the port,
// for the install line.
std::string UdevRuleFor(const PortInfo& port, const std::string& asTyped);

// The rule for the port a path or usb: name stands for among the ports;
// false with lines for a person (no final line end) when it is no USB
// adapter present.
bool MakeUdevRule(const std::string& name, const std::vector<PortInfo>& ports, std::string& rule, std::string& error);
