// A refused line setting, said the same way for every kind of port.

#include "AdapterAdvice.h"
#include "NetworkPort.h"
#include "PortDiagnosis.h"
#include "PortIdentity.h"
#include "PortList.h"
#include "SerialChannel.h"

namespace {

// "38400 bit/s, 8 data bits, odd parity" (parity in the Win32 numbering).
std::string LineSettingsText(const LineSettings& settings)
{
    static const char* const kParities[] = {"no parity", "odd parity", "even parity"};
    return std::to_string(settings.dwBaudRate) + " bit/s, " + std::to_string(settings.nDataBits) + " data bits, " +
           (settings.nParity < 3 ? kParities[settings.nParity] : "parity " + std::to_string(settings.nParity));
}

} // namespace

std::string DescribeSettingRefusal(const std::string& name, const LineSettings& asked, const PortFailure& failure,
                                   const std::string& driver)
{
    if (IsNetworkPortName(name))
        return failure.text;
    if (failure.kind == PortFailure::Kind::Lost)
        return name + ": " + failure.text;
    std::string text = name + " refused " + LineSettingsText(asked) + ": " + failure.text;
    if (asked.nParity != 0)
        text += "\n  " + NoParityAdvice(driver);
    return text;
}

std::string DescribeLineSettingFailure(const std::string& name, const CSerialChannel& channel)
{
    if (channel.LineSettingFailure().kind == PortFailure::Kind::None)
        return "";
    const std::vector<PortInfo> ports = IsNetworkPortName(name) ? std::vector<PortInfo>{} : DiscoverPorts();
    const PortInfo* port = FindPort(name, ports);
    return DescribeSettingRefusal(name, channel.AskedLineSettings(), channel.LineSettingFailure(),
                                  port ? port->driver : "");
}
