#include "Updater.h"

#include "InstructionsText.h"
#include "PortDevices.h"
#include "ProgressDisplay.h"
#include "SimulatedKestrune.h"
#include "UpdateMessages.h"
#include "UpdateRun.h"

#include <chrono>
#include <memory>
#include <string>

namespace {

// With a person at the terminal, waits for Enter; false on end of input.
bool WaitForEnter(std::FILE* in, std::FILE* out, const char* prompt)
{
    std::fprintf(out, "%s", prompt);
    std::fflush(out);
    for (int c = std::fgetc(in); c != '\n'; c = std::fgetc(in))
        if (c == EOF)
            return false;
    return true;
}

void ShowVersions(CDeviceLink& link, std::FILE* out)
{
    const auto version = QueryDeviceVersion(link);
    std::fprintf(out, "This Firmware Version:     %s\n", kCarriedFirmwareVersion);
    std::fprintf(out, "Version In Your Kestrune:  %s\n", version ? version->c_str() : kUnknownVersion);
}

} // namespace

int RunUpdater(const CliOptions& options, std::FILE* out, std::FILE* in)
{
    std::unique_ptr<SimulatedKestrune> sim;
    uint8_t port = options.port;
    if (options.UsesSimulator()) {
        sim = std::make_unique<SimulatedKestrune>(SimulatedKestrune::Options{options.bPaced, false});
        if (!sim->Start()) {
            std::fprintf(out, "Could not start the simulated Kestrune (no pseudo-terminal).\n");
            return ExitNoSimulator;
        }
        sim->WithDevice([&](KestruneDevice& device) {
            for (const Fault& fault : options.faults)
                device.AddFault(fault);
        });
        SetPortRoute(1, PortRoute{sim->DevicePath(), options.bPaced});
        port = 1;
        std::fprintf(out, "Using a simulated Kestrune on %s as COM%d%s.\n", sim->DevicePath().c_str(),
                     port, options.bPaced ? ", paced at line speed" : "");
    } else if (!options.device.empty()) {
        SetPortRoute(1, PortRoute{options.device, false});
        port = 1;
    }

    CDeviceLink link;
    if (!link.Open(port)) {
        std::fprintf(out, "%s: %s\n", kPortErrorCaption, kPortUnavailableMessage);
        return ExitPortUnavailable;
    }
    ShowVersions(link, out);
    if (options.bVersionOnly)
        return ExitSuccess;

    std::fprintf(out, "\n%s\n%s\n%s\n%s\n", KZ_INSTRUCTIONS_HEADING, KZ_INSTRUCTIONS_STEPS, KZ_INSTRUCTIONS_NOTE,
                 KZ_INSTRUCTIONS_DURATION);
    if (sim) {
        std::fprintf(out, "(The simulated Kestrune is powered on with \"SET\" held.)\n");
        sim->PowerCycle(true);
    } else if (!options.bAssumeYes && !WaitForEnter(in, out, "Press Enter to update, or end input to cancel: ")) {
        std::fprintf(out, "\nUpdate cancelled; nothing was sent.\n");
        return ExitCancelled;
    }

    ProgressDisplay progress(out);
    link.SetProgressObserver([&progress](const StageProgress& step) { progress.Show(step); });
    const auto started = std::chrono::steady_clock::now();
    const int failedStage = RunUpdateStages(link);
    progress.Finish();
    link.SetProgressObserver(nullptr);
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    if (failedStage != 0) {
        std::fprintf(out, "%s: %s\n", kErrorCaption, kStageFailureMessages[failedStage]);
        std::fprintf(out, "Put the Kestrune into bootstrap mode again and repeat the update.\n");
        return ExitStageFailed;
    }
    std::fprintf(out, "%s: %s\n", kSuccessCaption, kSuccessMessage);
    std::fprintf(out, "(update took %.1f s)\n", seconds);
    if (sim) {
        std::fprintf(out, "(The simulated Kestrune is power-cycled.)\n");
        sim->PowerCycle(false);
    } else if (!options.bAssumeYes) {
        WaitForEnter(in, out, "Press Enter once the Kestrune has restarted: ");
    }
    ShowVersions(link, out);
    return ExitSuccess;
}
