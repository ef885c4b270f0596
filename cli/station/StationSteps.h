#pragma once
// What a production station adds to a unit's update beside its hooks
// (Hook.h): the adapter it sits on, for the record, and the version query
// once the power-cycle hook has restarted it.

#include "DeviceLink.h"

#include <optional>
#include <string>

// The USB serial number, the by-id name or the network endpoint of the
// port opened by portName; nothing where none is known (a built-in port).
std::optional<std::string> AdapterOf(const std::string& portName);

// The version a restarted device reports: asked again for a few seconds
// while its application firmware starts, until stopRequested says to end.
std::optional<std::string> QueryAfterRestart(CDeviceLink& link, bool (*stopRequested)());
