#pragma once
// What a production station adds to a unit's update: its hooks, the
// adapter it sits on for the record, and the version query once the power
// hook has restarted it.

#include "CliOptions.h"
#include "DeviceLink.h"
#include "DeviceUpdate.h"
#include "Hook.h"

#include <optional>
#include <string>

// How the record and the hooks name the unit's port: as the person gave it.
std::string GivenPort(const UpdateTarget& target);

// --bootstrap-command or --power-cycle-command for this unit.
HookResult RunUnitHook(const char* name, const std::string& command, const CliOptions& options,
                       const UpdateTarget& target, const UnitRun& unit);

// The USB serial number, the by-id name or the network endpoint; nothing
// where none is known (a simulated Kestrune, a built-in port).
std::optional<std::string> AdapterOf(const UpdateTarget& target);

// The version a restarted device reports: asked again for a few seconds
// while its application firmware starts.
std::optional<std::string> QueryAfterRestart(CDeviceLink& link);
