#include "PortIdentity.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr char kPrefix[] = "usb:";
constexpr size_t kPrefixSize = sizeof kPrefix - 1;

bool ParseId(const std::string& text, uint16_t& id)
{
    if (text.empty() || text.size() > 4 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return false;
    id = static_cast<uint16_t>(std::strtoul(text.c_str(), nullptr, 16));
    return true;
}

// Serial numbers are compared without regard to case: people type them.
bool SameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool Matches(const UsbIdentity& wanted, const PortInfo& port)
{
    return port.bUsb && (!wanted.bIds || (wanted.vid == port.vid && wanted.pid == port.pid)) &&
           (wanted.serial.empty() || SameText(wanted.serial, port.serial));
}

size_t CountMatches(const UsbIdentity& wanted, const std::vector<PortInfo>& ports)
{
    return static_cast<size_t>(
        std::count_if(ports.begin(), ports.end(), [&](const PortInfo& port) { return Matches(wanted, port); }));
}

std::string Ids(const PortInfo& port)
{
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", port.vid, port.pid);
    return ids;
}

std::string WhatIsAsked(const UsbIdentity& wanted)
{
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", wanted.vid, wanted.pid);
    if (!wanted.bIds)
        return "serial number " + wanted.serial;
    return std::string("USB ids ") + ids + (wanted.serial.empty() ? "" : " and serial number " + wanted.serial);
}

} // namespace

bool IsUsbName(const std::string& name) { return name.compare(0, kPrefixSize, kPrefix) == 0; }

std::optional<UsbIdentity> ParseUsbName(const std::string& name)
{
    if (!IsUsbName(name))
        return std::nullopt;
    const std::string rest = name.substr(kPrefixSize);
    UsbIdentity identity;
    const size_t first = rest.find(':');
    if (first == std::string::npos) {
        identity.serial = rest;
        return rest.empty() ? std::nullopt : std::optional(identity);
    }
    const size_t second = rest.find(':', first + 1);
    identity.bIds = true;
    if (!ParseId(rest.substr(0, first), identity.vid) ||
        !ParseId(rest.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1),
                 identity.pid))
        return std::nullopt;
    if (second != std::string::npos) {
        identity.serial = rest.substr(second + 1); // a serial number may hold colons itself
        if (identity.serial.empty())
            return std::nullopt;
    }
    return identity;
}

std::string UsbNameProblem(const std::string& name)
{
    if (!IsUsbName(name) || ParseUsbName(name))
        return "";
    return "'" + name + "' is no USB name: usb:SERIAL, usb:VID:PID or usb:VID:PID:SERIAL (ids in hex)";
}

std::string UsbNameOf(const PortInfo& port, const std::vector<PortInfo>& ports)
{
    if (!port.bUsb)
        return "";
    const UsbIdentity bySerial{false, 0, 0, port.serial};
    const UsbIdentity byIds{true, port.vid, port.pid, ""};
    const UsbIdentity byBoth{true, port.vid, port.pid, port.serial};
    if (!port.serial.empty() && CountMatches(bySerial, ports) == 1)
        return kPrefix + port.serial;
    if (CountMatches(byIds, ports) == 1)
        return kPrefix + Ids(port);
    if (!port.serial.empty() && CountMatches(byBoth, ports) == 1)
        return kPrefix + Ids(port) + ":" + port.serial;
    return "";
}

std::string PortWithUsbName(const PortInfo& port, const std::vector<PortInfo>& ports)
{
    const std::string name = UsbNameOf(port, ports);
    return name.empty() ? port.path : port.path + " (" + name + ")";
}

std::string ListUsbAdapters(const std::vector<PortInfo>& ports)
{
    std::string text;
    for (const PortInfo& port : ports) {
        if (!port.bUsb)
            continue;
        std::string what = Ids(port);
        for (const std::string* part : {&port.manufacturer, &port.product})
            if (!part->empty())
                what += " " + *part;
        if (!port.serial.empty())
            what += ", serial " + port.serial;
        const std::string name = UsbNameOf(port, ports);
        text += "\n    " + port.path + "  " + what + "  " +
                (name.empty() ? "(no usb: name: twins without serial numbers; use --device " + port.path + ")"
                              : "--device " + name);
    }
    return text.empty() ? "\n  No USB serial adapter is present; 'kestrune-update --list-ports' lists the ports."
                        : "\n  USB serial adapters present:" + text;
}

bool ResolveUsbName(const std::string& name, const std::vector<PortInfo>& ports, PortInfo& chosen, std::string& error)
{
    const auto wanted = ParseUsbName(name);
    if (!wanted) {
        error = UsbNameProblem(name);
        return false;
    }
    const size_t count = CountMatches(*wanted, ports);
    if (count == 1) {
        chosen =
            *std::find_if(ports.begin(), ports.end(), [&](const PortInfo& port) { return Matches(*wanted, port); });
        return true;
    }
    error = count == 0 ? name + ": no USB serial adapter with " + WhatIsAsked(*wanted) + " is present"
                       : name + ": " + std::to_string(count) + " USB serial adapters have " + WhatIsAsked(*wanted) +
                             "; name one of them";
    error += ListUsbAdapters(ports);
    return false;
}

const PortInfo* FindPort(const std::string& name, const std::vector<PortInfo>& ports)
{
    if (IsUsbName(name)) {
        const auto wanted = ParseUsbName(name);
        if (!wanted || CountMatches(*wanted, ports) != 1)
            return nullptr;
        return &*std::find_if(ports.begin(), ports.end(), [&](const PortInfo& port) { return Matches(*wanted, port); });
    }
    for (const PortInfo& port : ports)
        if (SameText(port.path, name) || (!port.stableName.empty() && port.stableName == name))
            return &port;
#ifndef _WIN32
    // Another link to the same device: /dev/kestrune-..., /dev/serial/by-path/...
    char wanted[PATH_MAX], each[PATH_MAX];
    if (realpath(name.c_str(), wanted))
        for (const PortInfo& port : ports)
            if (realpath(port.path.c_str(), each) && std::string(each) == wanted)
                return &port;
#endif
    return nullptr;
}
