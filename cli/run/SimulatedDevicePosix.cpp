#include "SimulatedDevice.h"

#include "SimulatedKestrune.h"

namespace {

class PtyDevice : public SimulatedDevice {
public:
    explicit PtyDevice(const CliOptions& options)
        : m_sim(SimulatedKestrune::Options{options.bPaced, false, options.latencyMs})
    {
    }
    bool Start(const CliOptions& options)
    {
        if (!m_sim.Start())
            return false;
        m_sim.WithDevice([&](KestruneDevice& device) {
            for (const Fault& fault : options.faults)
                device.AddFault(fault);
        });
        return true;
    }
    std::string Name() const override { return "simulated Kestrune on " + m_sim.DevicePath(); }
    std::string PortName() const override { return m_sim.DevicePath(); }
    void PowerOn(bool holdSet) override { m_sim.PowerCycle(holdSet); }

private:
    SimulatedKestrune m_sim;
};

} // namespace

std::unique_ptr<SimulatedDevice> StartSimulatedDevice(const CliOptions& options, std::string& reason)
{
    auto device = std::make_unique<PtyDevice>(options);
    if (device->Start(options))
        return device;
    reason = "could not start the simulated Kestrune (no pseudo-terminal)\n";
    return nullptr;
}
