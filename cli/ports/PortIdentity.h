#pragma once
// Ports named by what the adapter is rather than where it enumerated:
// usb:SERIAL, usb:VID:PID and usb:VID:PID:SERIAL (ids in hex). A cable
// moved to another USB socket keeps its name this way.

#include "PortList.h"

#include <optional>
#include <string>
#include <vector>

struct UsbIdentity {
    bool bIds = false; // vid and pid given
    uint16_t vid = 0, pid = 0;
    std::string serial; // empty: any
};

bool IsUsbName(const std::string& name);
// The identity a usb: name asks for; nothing when it is not one.
std::optional<UsbIdentity> ParseUsbName(const std::string& name);
// Why a usb: name cannot be read, or "" when it can (or is no usb: name).
std::string UsbNameProblem(const std::string& name);

// The shortest usb: name that chooses this adapter among the ports; ""
// when none does (no USB adapter, or twins without serial numbers).
std::string UsbNameOf(const PortInfo& port, const std::vector<PortInfo>& ports);

// The one port a usb: name chooses. Otherwise false, with lines for a
// person (no final line end): what was asked for, and the adapters present
// with their names.
bool ResolveUsbName(const std::string& name, const std::vector<PortInfo>& ports, PortInfo& chosen, std::string& error);

// The port a path or usb: name stands for, among those discovered.
const PortInfo* FindPort(const std::string& name, const std::vector<PortInfo>& ports);

// "/dev/ttyUSB0 (usb:A10K3XYZ)", or the path alone without a usb: name.
std::string PortWithUsbName(const PortInfo& port, const std::vector<PortInfo>& ports);

// The USB adapters present, a line each, with the name that chooses each;
// each line begins with its line end, to follow a line of text.
std::string ListUsbAdapters(const std::vector<PortInfo>& ports);
