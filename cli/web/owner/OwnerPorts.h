#pragma once
// What the owner's page shows of the ports: each port as --list-ports knows
// it, the simulated Kestrune (Linux) marked as a simulation, and what each
// port answered to the version query, the only thing sent while finding
// the Kestrune.

#include "AutoPort.h"
#include "PortList.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

class WireTrace;

// The page's name for the simulated Kestrune.
constexpr const char* kSimulatedPortId = "simulated";

// The ports as the page lists them; simPath is the simulated Kestrune's
// terminal, empty where there is none.
nlohmann::json PortsSection(const std::vector<PortInfo>& ports, const std::string& simPath);

// The version query on one port, the port opened for it alone and closed
// again; its frames go to the trace where there is one. As the page shows
// it: {"outcome": "answered"|"silent"|"garbled"|"held"|"unopened",
// "version", "detail"}.
nlohmann::json AskVersion(const std::string& path, WireTrace* trace);

// What a probe of --port auto's found, as AskVersion tells it.
nlohmann::json ProbeAnswer(const PortProbe& probe);
