#pragma once
// A port as a person names it: a COM number (5, COM5), a device path
// (/dev/ttyUSB0, /dev/serial/by-id/...), a USB adapter's identity (usb:...)
// or a port on another machine (rfc2217://HOST:PORT). Every option that
// names a port reads it here, once, with its range and form checked; the
// port backends only turn a COM number into its device's path.

#include <cstdint>
#include <optional>
#include <string>

// The names a port may have, as messages list them.
inline constexpr char kPortKinds[] =
    "a COM number from 1 to 255 (5 or COM5), a device path, usb:SERIAL or rfc2217://HOST:PORT";

struct PortName {
    enum class Kind { ComNumber, Path, Usb, Network };
    Kind kind = Kind::Path;
    uint8_t number = 0; // ComNumber: 1-255
    std::string text;   // the name as written; "COM5" for a COM number
    std::string server; // Network: HOST:PORT, as the record names the adapter
};

// Reads a port's name. Nothing when it cannot be one, with a sentence in
// problem that names it and says what would be right.
std::optional<PortName> ParsePortName(const std::string& text, std::string& problem);

// What the port is opened by: the device path of a COM number, the name
// itself otherwise.
std::string OpenName(const PortName& name);

// How a report shows the port: "COM5 (/dev/ttyS4)" where COM5 stands for
// another path, the name itself otherwise.
std::string ShownName(const PortName& name);

// The COM number of the port at this path (COM5 for /dev/ttyS4 on Linux,
// COM5 on Windows); 0 when no COM number stands for it.
uint8_t ComNumberOf(const std::string& path);
