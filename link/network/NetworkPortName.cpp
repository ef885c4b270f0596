// The shape of a network port's name: rfc2217://HOST:PORT.

#include "NetworkPort.h"

#include <cstdlib>
#include <cstring>

bool IsNetworkPortName(const std::string& name) { return name.rfind("rfc2217://", 0) == 0; }

std::string NetworkEndpoint(const std::string& host, const std::string& port)
{
    return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + port;
}

// rfc2217://HOST:PORT with HOST a name, an IPv4 address or an IPv6 address
// in brackets; false when the name does not have that shape.
bool ParseNetworkName(const std::string& name, std::string& host, std::string& port)
{
    const std::string rest = name.substr(std::strlen("rfc2217://"));
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == rest.size())
        return false;
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (host.front() == '[') {
        if (host.back() != ']' || host.size() < 3)
            return false;
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        return false; // an IPv6 address without its brackets
    }
    char* end = nullptr;
    const unsigned long number = std::strtoul(port.c_str(), &end, 10);
    return *end == '\0' && port[0] != '-' && number >= 1 && number <= 65535;
}
