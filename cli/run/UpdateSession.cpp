#include "UpdateSession.h"

#include "Interrupts.h"
#include "SystemMessage.h"

#include <cerrno>

UpdateSession::UpdateSession(const CliOptions& options, const CliStreams& io)
    : m_options(options), m_io(io), m_terminalPrompt(options.bJson ? io.err : io.out, io.in), m_recorder(io.err)
{
}

UpdateSession::~UpdateSession()
{
    m_trace.reset();
    if (m_traceFile)
        std::fclose(m_traceFile);
}

bool UpdateSession::Open()
{
    CatchInterrupts();
    return m_options.recordPath.empty() || m_recorder.Open(m_options.recordPath);
}

bool UpdateSession::OpenTrace()
{
    const std::string& path = m_options.tracePath;
    if (path.empty())
        return true;
    std::FILE* to = m_io.err;
    if (path != "-" && !(to = m_traceFile = std::fopen(path.c_str(), "w"))) {
        std::fprintf(m_io.err, "kestrune-update: cannot write the trace to %s: %s\n", path.c_str(),
                     SystemMessage(errno).c_str());
        return false;
    }
    m_trace = std::make_unique<WireTrace>(to);
    return true;
}

StationRounds& UpdateSession::Rounds(size_t slots, bool simulated)
{
    // The person readies the units where no hook or simulator does; the
    // next units are waited for where no next-unit command says they came.
    const bool person = m_options.bStation && !simulated;
    const bool hook = !m_options.bootstrapCommand.empty();
    m_bRoundAsks = person && !hook;
    const RoundsPlan plan{m_options.bStation,
                          m_options.units,
                          m_bRoundAsks,
                          person && m_options.nextUnitCommand.empty(),
                          !hook,
                          m_options.bJson,
                          m_io.out,
                          m_pPrompt,
                          InterruptSignal};
    m_rounds.emplace(plan, slots, NextUnitHook{m_options.nextUnitCommand, m_options.hookTimeoutS, m_io.err, [] {
                                                   return InterruptSignal() != 0;
                                               }});
    m_rounds->Watch(m_recorder);
    return *m_rounds;
}

int UpdateSession::Finish(int exit)
{
    if (m_rounds)
        m_rounds->Summary();
    const bool signalEnds = m_options.bStation || m_options.action == CliAction::Bench;
    if (signalEnds && InterruptSignal() != 0)
        return ExitStatus(UnitOutcome::Interrupted);
    return exit == ExitSuccess && !m_recorder.Failure().empty() ? ExitStageFailed : exit;
}
