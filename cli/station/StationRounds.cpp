#include "StationRounds.h"

#include "JsonReport.h"
#include "UnitRecorder.h"

#include <algorithm>
#include <cmath>

namespace {

size_t Index(UnitResult result) { return static_cast<size_t>(result); }

} // namespace

StationRounds::StationRounds(const RoundsPlan& plan, size_t slots) : m_plan(plan), m_slots(slots) {}

bool StationRounds::WaitForPerson()
{
    // No answer (the end of the input, a signal) stops as q does.
    return !IsStop(m_plan.pPrompt->Ask(
        "Put the next Kestrunes into bootstrap mode and press Enter, or type q to stop: ", {"", "q"}));
}

size_t StationRounds::Next()
{
    if (m_plan.interruptSignal && m_plan.interruptSignal() != 0)
        return 0;
    if (m_pRecorder && !m_pRecorder->Failure().empty())
        return 0;
    if (m_rounds > 0 && !m_plan.bStation)
        return 0;
    if (m_plan.units && m_tried >= m_plan.units)
        return 0;
    if (m_plan.bWaitForPerson && !WaitForPerson()) {
        m_bStoppedByPerson = m_plan.interruptSignal == nullptr || m_plan.interruptSignal() == 0;
        return 0;
    }
    ++m_rounds;
    return m_plan.units ? std::min(m_slots, m_plan.units - m_tried) : m_slots;
}

void StationRounds::Count(UnitResult result)
{
    ++m_tried;
    ++m_counts[Index(result)];
}

void StationRounds::Summary() const
{
    if (!m_plan.bStation)
        return;
    const double hours = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count() / 3600.0;
    const double perHour = hours > 0 ? std::round(m_tried / hours * 10.0) / 10.0 : 0.0;
    const size_t updated = m_counts[Index(UnitResult::Updated)];
    const size_t skipped = m_counts[Index(UnitResult::Skipped)];
    const size_t interrupted = m_counts[Index(UnitResult::Interrupted)];
    const size_t failed = m_tried - updated - skipped - interrupted;
    if (m_plan.bJson) {
        std::fprintf(m_plan.out, "%s\n",
                     JsonLine({{"event", "station_result"},
                               {"rounds", m_rounds},
                               {"units", m_tried},
                               {"updated", updated},
                               {"failed", failed},
                               {"skipped", skipped},
                               {"interrupted", interrupted},
                               {"units_per_hour", perHour}})
                         .c_str());
    } else {
        std::fprintf(m_plan.out, "\nStation: %zu unit%s in %zu round%s: %zu updated, %zu failed, %zu skipped", m_tried,
                     m_tried == 1 ? "" : "s", m_rounds, m_rounds == 1 ? "" : "s", updated, failed, skipped);
        if (interrupted)
            std::fprintf(m_plan.out, ", %zu interrupted", interrupted);
        std::fprintf(m_plan.out, "; %.1f units per hour.\n", perHour);
    }
    std::fflush(m_plan.out);
}
