#pragma once
// What a bench or a station tells its page besides each unit's snapshot:
// the slots' names (the port and its adapter), and each finished unit's
// line of the record and its count.

#include "PageState.h"
#include "PortList.h"

#include <string>
#include <vector>

// The adapter a tile names: a USB adapter's maker, product and serial
// number, a network port's server, or what the system calls the port.
std::string AdapterText(const std::string& port, const std::vector<PortInfo>& ports);

// The tiles' titles: names[i] for slot i + 1, on simulated Kestrunes or on
// the ports named (looked up once among those present).
void NamePageSlots(PageState& page, const std::vector<std::string>& names, bool simulated);

// A unit's line of the record as a person reads it: the time, slot, port,
// result, the failed stage's message and the detail in full, the versions
// before and after, and the seconds.
std::string UnitLine(uint32_t slot, const std::string& name, const UnitStatus& status, double seconds);

// A unit is through: its line and its count.
void UnitFinished(PageState& page, uint32_t slot, const std::string& name, const UnitStatus& status, double seconds);
