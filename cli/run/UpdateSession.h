#pragma once
// What a single update and a bench share around their units: interrupts
// caught, the record opened before anything goes to a device, the trace,
// the station's rounds, and the exit status at the end.

#include "CliExit.h"
#include "CliOptions.h"
#include "CliStreams.h"
#include "GivenUnitIds.h"
#include "PersonPrompt.h"
#include "StationRounds.h"
#include "UnitRecorder.h"
#include "WireTrace.h"

#include <memory>
#include <optional>

class UpdateSession {
public:
    UpdateSession(const CliOptions& options, const CliStreams& io);
    ~UpdateSession();
    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    // Interrupts caught and the record opened; false, told on err, when
    // the record would not open.
    bool Open();
    // --trace: a file of its own, or stderr for "-"; false, told on err,
    // when the file would not open.
    bool OpenTrace();
    WireTrace* Trace() const { return m_trace.get(); }
    const CliStreams& Streams() const { return m_io; }
    UnitRecorder* Recorder() { return m_options.recordPath.empty() ? nullptr : &m_recorder; }
    // Who is asked: the terminal (questions on stderr in JSON mode, so that
    // stdout stays events), or the page once it asks instead.
    PersonPrompt& Prompt() const { return *m_pPrompt; }
    void AskThrough(PersonPrompt& prompt) { m_pPrompt = &prompt; }
    // The units' ids given so far, across the rounds and slots.
    GivenUnitIds& GivenIds() { return m_givenIds; }

    // The rounds over slots units at once; a station waits for the person
    // between rounds unless a hook or the simulator readies the units.
    StationRounds& Rounds(size_t slots, bool simulated);
    // The round's prompt readied the units: they ask no go-ahead of their own.
    bool RoundAsks() const { return m_bRoundAsks; }
    // The summary, and the exit status: a station (or a bench) stopped by
    // a signal ends with it, and a record that lacks a unit fails a run
    // that was otherwise a success.
    int Finish(int exit);

private:
    const CliOptions& m_options;
    CliStreams m_io;
    TerminalPrompt m_terminalPrompt;
    PersonPrompt* m_pPrompt = &m_terminalPrompt;
    UnitRecorder m_recorder;
    std::FILE* m_traceFile = nullptr;
    std::unique_ptr<WireTrace> m_trace;
    std::optional<StationRounds> m_rounds;
    GivenUnitIds m_givenIds;
    bool m_bRoundAsks = false;
};
