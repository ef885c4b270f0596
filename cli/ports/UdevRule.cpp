#include "UdevRule.h"

#include "PortIdentity.h"
#include "PortName.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

bool Plain(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-'; }

// A serial number in a device and file name: anything else becomes '_'.
std::string ForName(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return !Plain(c); }, '_');
    return text;
}

// A serial number in a match: udev matches glob patterns, so a character
// that could mean something there (or end the string) matches any one.
std::string ForMatch(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return !Plain(c); }, '?');
    return text;
}

std::string ShellWord(const std::string& word)
{
    if (!word.empty() && std::all_of(word.begin(), word.end(), [](char c) { return Plain(c) || c == '/' || c == ':'; }))
        return word;
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

std::string UdevRuleFor(const PortInfo& port, const std::string& asTyped)
{
    char ids[64];
    std::snprintf(ids, sizeof ids, "ATTRS{idVendor}==\"%04x\", ATTRS{idProduct}==\"%04x\"", port.vid, port.pid);
    char kind[16];
    std::snprintf(kind, sizeof kind, "%04x-%04x", port.vid, port.pid);
    // Without a serial number the rule can only name the kind of adapter:
    // any adapter of that kind then gets the name.
    const std::string name = "kestrune-" + (port.serial.empty() ? std::string(kind) : ForName(port.serial));
    const std::string file = "/etc/udev/rules.d/70-" + name + ".rules";
    std::string what = port.manufacturer;
    if (!port.product.empty())
        what += (what.empty() ? "" : " ") + port.product;
    std::string rule =
        "# The Kestrune's serial adapter (" + (what.empty() ? std::string(kind) : what) +
        (port.serial.empty() ? ", no serial number: any adapter of this kind" : ", serial " + port.serial) +
        ") as /dev/" + name + ", for group dialout, kept from ModemManager.\n";
    rule += "# Install: kestrune-update --udev-rule " + ShellWord(asTyped) + " | sudo tee " + file +
            " && sudo udevadm control --reload && sudo udevadm trigger --subsystem-match=tty\n";
    rule += "SUBSYSTEM==\"tty\", " + std::string(ids) +
            (port.serial.empty() ? "" : ", ATTRS{serial}==\"" + ForMatch(port.serial) + "\"") + ", SYMLINK+=\"" + name +
            "\", GROUP=\"dialout\", MODE=\"0660\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n";
    return rule;
}

bool MakeUdevRule(const std::string& name, const std::vector<PortInfo>& ports, std::string& rule, std::string& error)
{
#ifdef _WIN32
    (void)name, (void)ports, (void)rule;
    error = "--udev-rule: udev rules are for Linux; on Windows an adapter keeps its COM number.";
    return false;
#else
    PortInfo chosen;
    std::string problem; // none: the options were read through the same parser
    const auto parsed = ParsePortName(name, problem);
    if (IsUsbName(name)) {
        if (!ResolveUsbName(name, ports, chosen, error))
            return false;
    } else if (const PortInfo* port = FindPort(parsed ? OpenName(*parsed) : name, ports)) {
        chosen = *port;
    } else {
        error = name + ": no serial port of that name is present" + ListUsbAdapters(ports);
        return false;
    }
    if (!chosen.bUsb) {
        error = name + ": not a USB serial adapter; a udev rule names an adapter by its USB ids and serial number";
        return false;
    }
    rule = UdevRuleFor(chosen, name);
    return true;
#endif
}
