#pragma once
// Faults written as text, for the command lines of the simulator and the
// updater: KIND:EXCHANGE[:OCCURRENCE[:ARGUMENT]], for instance
// "nak:program:7:0xFF", "late:erase:1:300", "corrupt:echo:1:255",
// "silence:sign-on", "unplug:write:100". OCCURRENCE 0 means every one; the
// argument is the reply value (nak), the byte index (corrupt) or the extra
// delay in milliseconds (late).

#include "DeviceFaults.h"

#include <optional>
#include <string>

std::optional<Fault> ParseFault(const std::string& text);
std::string DescribeFault(const Fault& fault);
