// Many updates against the simulated Kestrune, each with a random fault
// (kind, exchange, occurrence, drawn from a fixed seed) or none, each failed
// one followed by a clean one. After every run: banks 0 and 1 and the EEPROM
// untouched; after a success banks 2 and 3 hold the images and the device
// reports "5.0.3" after a power cycle; after a failure, the stage reported
// is the stage whose exchange the fault hit. Prints a line an update; exit 1
// on any mismatch.
//
// usage: update_soak [--runs N]

#include "DeviceState.h"
#include "FaultSpec.h"
#include "SimulatedKestrune.h"
#include "UpdateRun.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

struct Target {
    Exchange exchange;
    uint32_t count; // how often an update makes it
    uint32_t replyLength;
};

// The exchanges that answer, as often as one update makes them.
constexpr Target kTargets[] = {
    {Exchange::Echo, 1, 256},     {Exchange::SignOn, 1, 1},  {Exchange::ClearRange, 1, 1},
    {Exchange::WriteBlock, 256, 1}, {Exchange::ReadBlock, 256, 32}, {Exchange::Ping, 1, 1},
    {Exchange::FlashId, 2, 3},    {Exchange::Erase, 2, 1},   {Exchange::Program, 49 + 247, 1},
};

// The stage that makes this occurrence of the exchange.
int StageOf(Exchange exchange, uint32_t occurrence)
{
    switch (exchange) {
    case Exchange::Echo:
    case Exchange::SignOn: return 1;
    case Exchange::FlashId:
    case Exchange::Erase: return occurrence == 1 ? 3 : 4;
    case Exchange::Program: return occurrence <= 49 ? 3 : 4;
    default: return 2;
    }
}

std::optional<Fault> Draw(std::mt19937& random)
{
    if (random() % 4 == 0)
        return std::nullopt;
    const Target& target = kTargets[random() % std::size(kTargets)];
    constexpr FaultKind kKinds[] = {FaultKind::Silence, FaultKind::Late, FaultKind::Nak, FaultKind::CorruptByte,
                                    FaultKind::CablePulled};
    Fault fault{};
    fault.kind = kKinds[random() % std::size(kKinds)];
    fault.at = target.exchange;
    fault.occurrence = 1 + random() % target.count;
    fault.value = 0x01;
    fault.index = random() % target.replyLength;
    fault.delayMs = 200 + random() % 1000;
    return fault;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc == 3 && std::strcmp(argv[1], "--runs") == 0 ? std::atoi(argv[2]) : 200;
    if (argc != 1 && argc != 3)
        return std::fprintf(stderr, "usage: update_soak [--runs N]\n"), 2;
    SimulatedKestrune sim;
    CDeviceLink link;
    if (!sim.Start() || !link.Open(sim.DevicePath()))
        return std::fprintf(stderr, "update_soak: no simulated Kestrune\n"), 1;
    const DeviceState factory = sim.WithDevice([](KestruneDevice& device) { return DeviceState::Of(device); });
    const Bank fpga = ExpectedBank(kXilinxDataImage);
    const Bank application = ExpectedBank(kApplicationImage);

    std::mt19937 random(2026);
    int updates = 0, mismatches = 0;
    // One update, and the device checked after it; prints a line.
    auto update = [&](const std::optional<Fault>& fault) {
        const std::string what = fault ? DescribeFault(*fault) : "no fault";
        sim.WithDevice([&](KestruneDevice& device) {
            device.ClearFaults();
            device.ReconnectCable();
            if (fault)
                device.AddFault(*fault);
        });
        sim.PowerCycle(true);
        const int failed = RunUpdateStages(link);
        std::printf("%3d %-40s %s\n", ++updates, what.c_str(), failed ? link.FailureDetail() : "succeeded");
        const DeviceState now = sim.WithDevice([](KestruneDevice& device) { return DeviceState::Of(device); });
        auto mismatch = [&](const char* how) {
            ++mismatches;
            std::printf("MISMATCH: %s\n", how);
        };
        if (now.banks[0] != factory.banks[0] || now.banks[1] != factory.banks[1] || now.eeprom != factory.eeprom)
            mismatch("bank 0, bank 1 or the EEPROM changed");
        if (failed == 0) {
            if (now.banks[2] != fpga || now.banks[3] != application)
                mismatch("banks 2 and 3 do not hold the images");
            sim.PowerCycle(false);
            if (QueryDeviceVersion(link) != "5.0.3")
                mismatch("the device does not report 5.0.3 after a power cycle");
        } else if (!fault) {
            mismatch("a clean update failed");
        } else if (failed != StageOf(fault->at, fault->occurrence)) {
            mismatch("another stage failed than the one the fault hit");
        }
        std::fflush(stdout);
        return failed;
    };

    for (int run = 1; run <= runs; ++run)
        if (update(Draw(random)) != 0)
            update(std::nullopt);
    std::printf("runs %d, updates %d, mismatches %d\n", runs, updates, mismatches);
    return mismatches == 0 ? 0 : 1;
}
