#pragma once
// Where port n ("COMn") lives on a POSIX system. By default COMn is
// /dev/ttyS(n-1); a route can point a port at any other terminal device,
// such as the pseudo-terminal of the simulated Kestrune.

#include <cstdint>
#include <string>

struct PortRoute {
    std::string path;
    // A pseudo-terminal has no wire: bytes pass at once. When set, a write
    // also takes the time its characters would need on the line, so the
    // host keeps the same timeline as on a real cable.
    bool bEmulateWireTime = false;
};

void SetPortRoute(uint8_t port, PortRoute route);
void ClearPortRoutes();
PortRoute PortRouteFor(uint8_t port);
