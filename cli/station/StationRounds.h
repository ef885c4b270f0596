#pragma once
// --station: rounds until stopped. After each round the next units are
// waited for: at once where a hook (or the simulator) puts them into
// bootstrap mode, otherwise until the person presses Enter (q stops).
// --units N stops once N units have been tried; a signal stops it at once,
// and so does a record that could not be written: no unit starts that the
// record might lose.
// At the end, what the station did: units updated, failed and skipped, and
// units per hour. Without --station it is one round of every slot.

#include "PersonPrompt.h"
#include "UnitRecord.h"

#include <chrono>
#include <cstdint>
#include <cstdio>

class UnitRecorder;

struct RoundsPlan {
    bool bStation = false;
    uint32_t units = 0;              // 0: until stopped
    bool bWaitForPerson = false;     // a prompt before each round
    bool bJson = false;              // the summary as an event
    std::FILE* out = nullptr;        // the summary
    PersonPrompt* pPrompt = nullptr; // who is asked before each round
    int (*interruptSignal)() = nullptr;
};

class StationRounds {
public:
    StationRounds(const RoundsPlan& plan, size_t slots);
    // The record whose failed write stops the rounds.
    void Watch(const UnitRecorder& recorder) { m_pRecorder = &recorder; }
    // How many units the next round takes (the first slots), 0 to stop.
    size_t Next();
    void Count(UnitResult result);
    // --station only.
    void Summary() const;
    // q or the end of the input stopped it, not a unit.
    bool StoppedByPerson() const { return m_bStoppedByPerson; }

private:
    bool WaitForPerson();

    RoundsPlan m_plan;
    size_t m_slots;
    const UnitRecorder* m_pRecorder = nullptr;
    size_t m_rounds = 0;
    size_t m_tried = 0;
    size_t m_counts[5] = {}; // by UnitResult
    bool m_bStoppedByPerson = false;
    std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
};
