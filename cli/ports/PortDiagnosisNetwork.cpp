#include "PortDiagnosis.h"

namespace {

// Where the server is likely missing or misconfigured: what ser2net needs.
std::string ServerAdvice(const std::string& endpoint)
{
    return "\n  Is ser2net running there with an rfc2217 accepter on that port (accepter: telnet(rfc2217),tcp," +
           endpoint.substr(endpoint.rfind(':') + 1) + ")? A firewall can also hold the connection.";
}

} // namespace

std::string DescribeNetworkFailure(const std::string& name, const PortOpenFailure& failure)
{
    using Network = PortOpenFailure::Network;
    switch (failure.network) {
    case Network::BadName:
        return name + ": " + failure.text +
               "\n  Write it rfc2217://HOST:PORT, for example rfc2217://bench-pi:4001 or "
               "rfc2217://[fe80::1%eth0]:4001.";
    case Network::Interrupted: return failure.endpoint + ": " + failure.text;
    case Network::Lost: return failure.text + ServerAdvice(failure.endpoint); // the text names the server
    case Network::Closed:
        return failure.endpoint + ": " + failure.text +
               "\n  ser2net closes a new connection at once while another client holds its port, or when its "
               "device does not open.";
    default: return failure.endpoint + ": " + failure.text + ServerAdvice(failure.endpoint);
    }
}
