#include "StationRounds.h"

#include "Hook.h"
#include "JsonReport.h"
#include "UnitRecorder.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The least time between two units of one slot: a station that goes wrong
// (a next-unit command that returns at once, a hook that fails at once)
// does not fill the record.
constexpr auto kLeastUnitGapMs = std::chrono::milliseconds(1000);
constexpr auto kPaceCheckMs = std::chrono::milliseconds(50);

size_t Index(UnitResult result) { return static_cast<size_t>(result); }

} // namespace

StationRounds::StationRounds(const RoundsPlan& plan, size_t slots, NextUnitHook hook)
    : m_plan(plan), m_slots(slots), m_hook(std::move(hook)), m_lastInSlot(slots)
{
}

bool StationRounds::Stopped() const
{
    if (m_plan.interruptSignal && m_plan.interruptSignal() != 0)
        return true;
    return m_pRecorder && !m_pRecorder->Failure().empty();
}

bool StationRounds::WaitForPerson()
{
    // No answer (the end of the input, a signal) stops as q does.
    const std::string question =
        m_plan.bBootstrapSteps
            ? "Put the next Kestrunes in place and into bootstrap mode (power off for 5 seconds, hold \"SET\"\n"
              "while powering on, release it after 5 seconds), then press Enter, or type q to stop: "
            : "Put the next Kestrunes in place and press Enter, or type q to stop: ";
    return !IsStop(m_plan.pPrompt->Ask(question, {"", "q"}));
}

bool StationRounds::Pace(Clock::time_point& last) const
{
    const Clock::time_point earliest = last + kLeastUnitGapMs;
    for (Clock::time_point now; (now = Clock::now()) < earliest;) {
        if (m_plan.interruptSignal && m_plan.interruptSignal() != 0)
            return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(earliest - now, kPaceCheckMs));
    }
    last = Clock::now();
    return true;
}

size_t StationRounds::Next()
{
    if (Stopped())
        return 0;
    if (m_rounds > 0 && (!m_plan.bStation || AtOwnPace()))
        return 0;
    if (m_plan.units && m_tried >= m_plan.units)
        return 0;
    if ((m_rounds == 0 ? m_plan.bAskFirst : m_plan.bAskBetween) && !WaitForPerson()) {
        m_bStoppedByPerson = m_plan.interruptSignal == nullptr || m_plan.interruptSignal() == 0;
        return 0;
    }
    if (!Pace(m_lastRound))
        return 0;
    std::lock_guard lock(m_mutex);
    ++m_rounds;
    const size_t units = m_plan.units ? std::min(m_slots, m_plan.units - m_tried) : m_slots;
    m_started += units;
    std::fill(m_lastInSlot.begin(), m_lastInSlot.begin() + static_cast<std::ptrdiff_t>(units), m_lastRound);
    return units;
}

bool StationRounds::TakeNext(uint32_t slot, const std::string& port)
{
    const auto full = [this] {
        std::lock_guard lock(m_mutex);
        return m_plan.units && m_started >= m_plan.units;
    };
    if (Stopped() || full())
        return false;
    const HookResult ran = RunHook(
        HookCall{"next-unit", m_hook.command, port, slot, m_hook.timeoutS, m_hook.output, m_hook.stopRequested});
    if (ran.bInterrupted)
        return false;
    if (!ran.bOk) {
        std::fprintf(m_hook.output, "kestrune-update: slot %u ends: %s.\n", slot, ran.detail.c_str());
        std::fflush(m_hook.output);
        return false;
    }
    if (!Pace(m_lastInSlot[slot - 1]) || Stopped())
        return false;
    std::lock_guard lock(m_mutex);
    if (m_plan.units && m_started >= m_plan.units)
        return false;
    ++m_started;
    return true;
}

void StationRounds::Count(UnitResult result)
{
    std::lock_guard lock(m_mutex);
    ++m_tried;
    ++m_counts[Index(result)];
}

void StationRounds::Summary() const
{
    if (!m_plan.bStation)
        return;
    std::lock_guard lock(m_mutex);
    const double hours = std::chrono::duration<double>(Clock::now() - m_startTime).count() / 3600.0;
    const double perHour = hours > 0 ? std::round(m_tried / hours * 10.0) / 10.0 : 0.0;
    const size_t updated = m_counts[Index(UnitResult::Updated)];
    const size_t skipped = m_counts[Index(UnitResult::Skipped)];
    const size_t interrupted = m_counts[Index(UnitResult::Interrupted)];
    const size_t failed = m_tried - updated - skipped - interrupted;
    if (m_plan.bJson) {
        JsonEvent result = {{"event", "station_result"}};
        if (AtOwnPace())
            result["slots"] = m_slots;
        else
            result["rounds"] = m_rounds;
        result.update({{"units", m_tried},
                       {"updated", updated},
                       {"failed", failed},
                       {"skipped", skipped},
                       {"interrupted", interrupted},
                       {"units_per_hour", perHour}});
        std::fprintf(m_plan.out, "%s\n", JsonLine(result).c_str());
    } else {
        if (AtOwnPace())
            std::fprintf(m_plan.out, "\nStation: %zu unit%s on %zu slot%s", m_tried, m_tried == 1 ? "" : "s", m_slots,
                         m_slots == 1 ? "" : "s");
        else
            std::fprintf(m_plan.out, "\nStation: %zu unit%s in %zu round%s", m_tried, m_tried == 1 ? "" : "s", m_rounds,
                         m_rounds == 1 ? "" : "s");
        std::fprintf(m_plan.out, ": %zu updated, %zu failed, %zu skipped", updated, failed, skipped);
        if (interrupted)
            std::fprintf(m_plan.out, ", %zu interrupted", interrupted);
        std::fprintf(m_plan.out, "; %.1f units per hour.\n", perHour);
    }
    std::fflush(m_plan.out);
}
