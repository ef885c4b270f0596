#include "PortIdentity.h"
#include "PortList.h"
#include "PortName.h"

#include <cstdio>

namespace {

// The option that picks this port: --port N where the path is what COMN
// stands for, --device otherwise.
std::string HowToChoose(const PortInfo& port)
{
    if (const uint8_t number = ComNumberOf(port.path))
        return "--port " + std::to_string(number);
    return "--device " + (port.stableName.empty() ? port.path : port.stableName);
}

} // namespace

std::string FormatPortList(const std::vector<PortInfo>& ports)
{
    if (ports.empty())
        return "No serial ports found. Check that the adapter is plugged in and its cable seated;\n"
               "'dmesg' (Linux) or the Device Manager (Windows) shows whether the system saw it.\n";
    std::string text;
    for (const PortInfo& port : ports) {
        text += port.path + "\n";
        if (!port.stableName.empty())
            text += "    stable name   " + port.stableName + "\n";
        if (!port.description.empty())
            text += "    description   " + port.description + "\n";
        if (!port.driver.empty())
            text += "    driver        " + port.driver + "\n";
        if (port.bUsb) {
            char ids[16];
            std::snprintf(ids, sizeof ids, "%04x:%04x", port.vid, port.pid);
            text += std::string("    USB           ") + ids;
            for (const std::string* part : {&port.manufacturer, &port.product})
                if (!part->empty())
                    text += ", " + *part;
            if (!port.serial.empty())
                text += ", serial " + port.serial;
            text += "\n";
        }
        text += "    choose with   " + HowToChoose(port) + "\n";
        if (const std::string name = UsbNameOf(port, ports); !name.empty())
            text += "    by identity   --device " + name + "\n";
    }
    return text;
}
