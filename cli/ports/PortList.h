#pragma once
// The serial ports present, as --list-ports shows them.

#include <cstdint>
#include <string>
#include <vector>

struct PortInfo {
    std::string path;        // /dev/ttyUSB0, COM7
    std::string stableName;  // /dev/serial/by-id/... where there is one
    std::string driver;      // ftdi_sio, cp210x, serial8250 ...
    std::string description; // what the system calls it
    bool bUsb = false;
    uint16_t vid = 0, pid = 0;
    std::string manufacturer, product, serial;
    uint32_t latencyTimerMs = 0; // Windows, FTDI: the driver's LatencyTimer setting; 0 where unknown
};

// The ports of this machine (libserialport finds and describes them).
std::vector<PortInfo> DiscoverPorts();

// The listing a person reads; says what to check when there is none.
std::string FormatPortList(const std::vector<PortInfo>& ports);
