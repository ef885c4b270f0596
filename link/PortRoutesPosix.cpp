// Which terminal device each COM port number stands for on a POSIX system.

#include "PortDevices.h"

#include <map>
#include <mutex>

namespace {

std::mutex g_routesMutex;
std::map<uint8_t, PortRoute> g_routes;

} // namespace

void SetPortRoute(uint8_t port, PortRoute route)
{
    std::lock_guard lock(g_routesMutex);
    g_routes[port] = std::move(route);
}

void ClearPortRoutes()
{
    std::lock_guard lock(g_routesMutex);
    g_routes.clear();
}

std::string PortDeviceName(uint8_t port) { return PortRouteFor(port).path; }

PortRoute PortRouteFor(uint8_t port)
{
    std::lock_guard lock(g_routesMutex);
    auto it = g_routes.find(port);
    if (it != g_routes.end())
        return it->second;
    return PortRoute{"/dev/ttyS" + std::to_string(port - 1), false};
}
