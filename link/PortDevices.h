#pragma once
// Where port n ("COMn") lives. On Windows it is the device COMn. On a POSIX
// system COMn is /dev/ttyS(n-1) by default, and a route can point a port at
// any other terminal device, such as the pseudo-terminal of the simulated
// Kestrune.

#include <cstdint>
#include <string>

// The name the port is opened by.
std::string PortDeviceName(uint8_t port);

#ifndef _WIN32

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
#endif
