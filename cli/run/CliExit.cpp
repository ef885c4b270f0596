#include "CliExit.h"

#include "Interrupts.h"

int ExitStatus(UnitOutcome outcome)
{
    switch (outcome) {
    case UnitOutcome::Failed: return ExitStageFailed;
    case UnitOutcome::PortUnavailable: return ExitPortUnavailable;
    case UnitOutcome::Cancelled: return ExitCancelled;
    case UnitOutcome::Interrupted: return 128 + InterruptSignal();
    case UnitOutcome::NoSimulator: return ExitNoSimulator;
    case UnitOutcome::NoAnswer: return ExitNoAnswer;
    default: return ExitSuccess;
    }
}
