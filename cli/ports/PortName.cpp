#include "PortName.h"

#include "NetworkPort.h"
#include "PortIdentity.h"
#include "SerialPort.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr uint32_t kHighestCom = 255;

bool Digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

bool AllDigits(const std::string& text) { return !text.empty() && std::all_of(text.begin(), text.end(), Digit); }

// The value of a row of digits, or 0 where it is 0 or above 255; leading
// zeros are read as such, and no row is too long to read.
uint32_t ComNumber(const std::string& digits)
{
    uint32_t value = 0;
    for (char c : digits) {
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > kHighestCom)
            return 0;
    }
    return value;
}

// "COM" in any case, as Windows takes it.
bool StartsWithCom(const std::string& text)
{
    return text.size() > 3 && std::toupper(static_cast<unsigned char>(text[0])) == 'C' &&
           std::toupper(static_cast<unsigned char>(text[1])) == 'O' &&
           std::toupper(static_cast<unsigned char>(text[2])) == 'M';
}

std::optional<PortName> Refuse(std::string& problem, std::string text)
{
    problem = std::move(text);
    return std::nullopt;
}

// 5, COM5, com5: a number, or a name that only looks like one.
std::optional<PortName> ReadComNumber(const std::string& text, const std::string& digits, std::string& problem)
{
    if (!AllDigits(digits))
        return Refuse(problem, "'" + text + "' is no port: give " + kPortKinds);
    const uint32_t number = ComNumber(digits);
    if (number == 0)
        return Refuse(problem, "'" + text + "' is no port: COM numbers go from 1 to 255");
    return PortName{PortName::Kind::ComNumber, static_cast<uint8_t>(number), "COM" + std::to_string(number), ""};
}

} // namespace

std::optional<PortName> ParsePortName(const std::string& text, std::string& problem)
{
    if (text.empty())
        return Refuse(problem, std::string("an empty port name: give ") + kPortKinds);
    // A name that starts as a number is one: "3x" and "COM5x" are typos, not files.
    if (Digit(text[0]))
        return ReadComNumber(text, text, problem);
    if (StartsWithCom(text) && Digit(text[3]))
        return ReadComNumber(text, text.substr(3), problem);
    if (IsUsbName(text)) {
        if (problem = UsbNameProblem(text); !problem.empty())
            return std::nullopt;
        return PortName{PortName::Kind::Usb, 0, text, ""};
    }
    if (IsNetworkPortName(text)) {
        std::string host, port;
        if (!ParseNetworkName(text, host, port))
            return Refuse(problem, "'" + text +
                                       "' is no network port: write rfc2217://HOST:PORT (PORT 1-65535), for example "
                                       "rfc2217://bench-pi:4001 or rfc2217://[fe80::1%eth0]:4001");
        return PortName{PortName::Kind::Network, 0, text, NetworkEndpoint(host, port)};
    }
    return PortName{PortName::Kind::Path, 0, text, ""};
}

std::string OpenName(const PortName& name)
{
    return name.kind == PortName::Kind::ComNumber ? PortNameOf(name.number) : name.text;
}

std::string ShownName(const PortName& name)
{
    const std::string path = OpenName(name);
    return path == name.text ? path : name.text + " (" + path + ")";
}

uint8_t ComNumberOf(const std::string& path)
{
    // The backend knows the step one way only; 255 names are quickly tried.
    for (uint32_t number = 1; number <= kHighestCom; ++number)
        if (PortNameOf(static_cast<uint8_t>(number)) == path)
            return static_cast<uint8_t>(number);
    return 0;
}
