// A unit's update after its stages succeeded: its restart (the person, the
// power-cycle hook, an attended bench's round or the simulator) and the
// version it reports then.
#include "UnitUpdate.h"

#include "AdapterAdvice.h"
#include "Interrupts.h"
#include "PortIdentity.h"
#include "SimulatedDevice.h"
#include "StationSteps.h"
#include "UpdateMessages.h"
#include "UpdateRun.h"

namespace {

bool StopRequested() { return InterruptSignal() != 0; }

} // namespace

// After a successful update: the restart (the person, the power-cycle hook
// or the simulator).
UnitOutcome UnitUpdate::Restart()
{
    const bool hook = !m_options.powerCycleCommand.empty();
    if (hook) {
        const HookResult ran = RunStationHook("power-cycle", m_options.powerCycleCommand);
        if (!ran.bOk) {
            m_record.detail = ran.detail;
            m_report.RestartChecked(false, ran.detail);
            return ran.bInterrupted ? UnitOutcome::Interrupted : UnitOutcome::Failed;
        }
    }
    if (m_target.pSim) {
        m_report.Note("(The simulated Kestrune is power-cycled.)");
        m_target.pSim->PowerOn(false);
    } else if (!hook && m_place.pRestart) {
        if (!m_place.pRestart->Wait(StopRequested))
            return UnitOutcome::Done; // the update itself is done
        return CheckRestart(true);    // checked as after the hook
    } else if (!hook && !Asks()) {
        m_report.Note("Power-cycle the Kestrune and let it restart: it then runs the new firmware.");
        return UnitOutcome::Done;
    } else if (!hook) {
        m_place.pPrompt->Ask("Power-cycle the Kestrune, let it restart, then press Enter: ", {""});
        if (InterruptSignal() != 0)
            return UnitOutcome::Done; // the update itself is done
    }
    return CheckRestart(hook);
}

// The version the device reports after its restart. After the hook, a
// device that does not report the carried version failed.
UnitOutcome UnitUpdate::CheckRestart(bool hook)
{
    m_record.versionAfter = hook ? QueryAfterRestart(m_link, StopRequested) : QueryDeviceVersion(m_link);
    m_report.VersionAfter(m_record.versionAfter);
    if (!hook) {
        AskAgainAfterRestart();
        return UnitOutcome::Done;
    }
    if (!m_record.versionAfter || *m_record.versionAfter != kCarriedFirmwareVersion) {
        m_record.detail = m_record.versionAfter
                              ? "it reports " + *m_record.versionAfter + ", not " + kCarriedFirmwareVersion
                              : "it did not answer the version query";
        m_report.RestartChecked(false, m_record.detail);
        return InterruptSignal() != 0 ? UnitOutcome::Interrupted : UnitOutcome::Failed;
    }
    m_report.RestartChecked(true, "");
    return UnitOutcome::Done;
}

// After a power cycle that brought no answer: what that can mean, and the
// question again for as long as the person asks for it.
void UnitUpdate::AskAgainAfterRestart()
{
    while (!m_record.versionAfter && Asks() && !m_target.pSim && InterruptSignal() == 0) {
        const std::vector<PortInfo> ports = DiscoverPorts();
        const PortInfo* port = FindPort(m_target.portName, ports);
        const std::string hint = NoAnswerHint(port ? port->driver : "");
        m_report.Note(hint.substr(0, hint.size() - 1));
        if (IsStop(m_place.pPrompt->Ask("Press Enter to ask the Kestrune again, or type q to stop: ", {"", "q"})) ||
            InterruptSignal() != 0)
            return;
        m_record.versionAfter = QueryDeviceVersion(m_link);
        m_report.VersionAfter(m_record.versionAfter);
    }
}
