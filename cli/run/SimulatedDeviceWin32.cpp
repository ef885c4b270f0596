#include "SimulatedDevice.h"

#include "PortList.h"

std::unique_ptr<SimulatedDevice> StartSimulatedDevice(const CliOptions&, std::string& reason)
{
    reason = "choose the Kestrune's port with --port N. The serial ports here:\n\n" + FormatPortList(DiscoverPorts());
    return nullptr;
}
