#pragma once
// --station: units until stopped, in one of two ways.
// - Rounds: every slot at once, the next round after the person pressed
//   Enter (q stops); the first round waits only where no bootstrap hook
//   readies the units. A hook or -y never starts the next round: it cannot
//   put the next unit in the fixture. A simulated station goes on at once,
//   each round's units being new simulated Kestrunes.
// - Slots at their own pace (--next-unit-command): each slot takes its next
//   unit when the command says it is in place, without waiting for the
//   others; a command that fails ends its slot alone.
// Never more than one unit a second in a slot, whatever happens. --units N
// stops once N units have been started, across the slots; a signal stops it
// at once, and so does a record that could not be written: no unit starts
// that the record might lose.
// At the end, what the station did: units updated, failed and skipped, and
// units per hour. Without --station it is one round of every slot.

#include "PersonPrompt.h"
#include "UnitRecord.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

class UnitRecorder;

struct RoundsPlan {
    bool bStation = false;
    uint32_t units = 0;              // 0: until stopped
    bool bAskFirst = false;          // a prompt before the first round
    bool bAskBetween = false;        // a prompt before every other round
    bool bBootstrapSteps = false;    // the prompt tells how to put units into bootstrap mode
    bool bJson = false;              // the summary as an event
    std::FILE* out = nullptr;        // the summary
    PersonPrompt* pPrompt = nullptr; // who is asked before each round
    int (*interruptSignal)() = nullptr;
};

// --next-unit-command, run in a slot before each of its units after the first.
struct NextUnitHook {
    std::string command; // "": rounds
    uint32_t timeoutS = 30;
    std::FILE* output = stderr; // its lines, and why a slot ended
    bool (*stopRequested)() = nullptr;
};

class StationRounds {
public:
    StationRounds(const RoundsPlan& plan, size_t slots, NextUnitHook hook = {});
    // The record whose failed write stops the rounds.
    void Watch(const UnitRecorder& recorder) { m_pRecorder = &recorder; }
    // Rounds: how many units the next round takes (the first slots), 0 to
    // stop. At their own pace: the first units, after which each slot asks
    // TakeNext.
    size_t Next();
    // At their own pace: whether the slot (1-based) on port takes another
    // unit; the next-unit command runs first. Any thread.
    bool TakeNext(uint32_t slot, const std::string& port);
    bool AtOwnPace() const { return !m_hook.command.empty(); }
    // Any thread.
    void Count(UnitResult result);
    // --station only.
    void Summary() const;
    // q or the end of the input stopped it, not a unit.
    bool StoppedByPerson() const { return m_bStoppedByPerson; }

private:
    bool Stopped() const;
    bool WaitForPerson();
    // Waits out the rest of a second since last; false when a signal came.
    bool Pace(std::chrono::steady_clock::time_point& last) const;

    RoundsPlan m_plan;
    size_t m_slots;
    NextUnitHook m_hook;
    const UnitRecorder* m_pRecorder = nullptr;
    mutable std::mutex m_mutex; // the counts, across the slots' threads
    size_t m_rounds = 0;
    size_t m_started = 0;
    size_t m_tried = 0;
    size_t m_counts[5] = {}; // by UnitResult
    bool m_bStoppedByPerson = false;
    std::chrono::steady_clock::time_point m_startTime = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_lastRound{};
    std::vector<std::chrono::steady_clock::time_point> m_lastInSlot;
};
