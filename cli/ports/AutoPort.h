#pragma once
// --port auto: which USB serial adapter the Kestrune is on. Each adapter no
// other program holds gets the version query and nothing else, all of them
// at once; the one a Kestrune answers on is chosen.

#include "PortList.h"

#include <cstdint>
#include <string>
#include <vector>

struct PortProbe {
    enum class Outcome : uint8_t { Held, Unopened, Silent, Garbled, Answered };
    PortInfo port;
    Outcome eOutcome = Outcome::Silent;
    std::vector<uint8_t> reply; // the bytes that came back
    std::string version;        // Answered: what the Kestrune reports
    std::string detail;         // Held, Unopened: why it was not tried
};

struct AutoChoice {
    bool bChosen = false;
    PortInfo port;
    std::string text; // chosen: which and why; otherwise what was tried and what each answered (no final line end)
};

// Probes the USB adapters among the ports (built-in and network ports
// never), in parallel.
std::vector<PortProbe> ProbeUsbPorts(const std::vector<PortInfo>& ports);

// The choice the probes allow: the one adapter a Kestrune answered on;
// with no answer, the only adapter present (a Kestrune in bootstrap mode
// does not answer); otherwise none.
AutoChoice ChooseAutoPort(const std::vector<PortProbe>& probes, const std::vector<PortInfo>& ports);
