#include "PageState.h"

#include "ProgressPlan.h"
#include "UpdateMessages.h"
#include "UpdateReport.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

double OneDecimal(double value) { return std::round(value * 10.0) / 10.0; }

nlohmann::json Optional(const std::optional<std::string>& text) { return text ? nlohmann::json(*text) : nullptr; }

// An answer as offered, spaces and case aside.
std::string Plain(const std::string& text)
{
    std::string plain;
    for (const char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            plain += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return plain;
}

struct StateWords {
    const char* state;
    std::string text;
};

// The unit's state as a word for the page's colours, and in words for a person.
StateWords Words(const UnitStatus& status)
{
    if (!status.hook.empty())
        return {"hook", status.hook + " hook running"};
    switch (status.outcome) {
    case UnitOutcome::Running:
        if (status.stage == 0)
            return {"waiting", "waiting"};
        return {"running", "Stage " + std::to_string(status.stage) +
                               " of 4: " + (status.step.empty() ? std::string(StageTitle(status.stage)) : status.step)};
    case UnitOutcome::Done:
        // Done without a stage: the version was asked and shown, nothing more.
        return status.stage != 0 ? StateWords{"updated", "updated"} : StateWords{"done", "done"};
    case UnitOutcome::Skipped:
        return {"skipped", std::string("skipped: it runs ") + kCarriedFirmwareVersion + " already"};
    case UnitOutcome::Failed:
        return {"failed", status.failedStage != 0 ? "failed in stage " + std::to_string(status.failedStage) : "failed"};
    case UnitOutcome::PortUnavailable: return {"unavailable", "port unavailable"};
    case UnitOutcome::NoSimulator: return {"unavailable", "no simulated Kestrune"};
    case UnitOutcome::NoAnswer: return {"failed", "no answer to the version query"};
    case UnitOutcome::Cancelled: return {"cancelled", "cancelled"};
    case UnitOutcome::Interrupted: return {"interrupted", "interrupted"};
    }
    return {"waiting", "waiting"};
}

} // namespace

PageState::PageState(PageMode mode, size_t slots)
    : m_mode(mode), m_planSeconds(ProgressPlan::ForCarriedImages().TotalMs() / 1000.0)
{
    m_state.slots.resize(slots);
}

void PageState::Changed()
{
    ++m_state.sequence;
    m_changed.notify_all();
}

void PageState::UnitChanged(uint32_t slot, const UnitStatus& status)
{
    std::lock_guard lock(m_mutex);
    if (slot == 0 || slot > m_state.slots.size())
        return;
    Slot& place = m_state.slots[slot - 1];
    place.status = status;
    if (status.stage != 0 && !place.started)
        place.started = Clock::now();
    Changed();
}

void PageState::NameSlot(uint32_t slot, const std::string& port, const std::string& adapter, bool simulated)
{
    std::lock_guard lock(m_mutex);
    if (slot == 0 || slot > m_state.slots.size())
        return;
    Slot& place = m_state.slots[slot - 1];
    place.port = port;
    place.adapter = adapter;
    place.bSimulated = simulated;
    Changed();
}

void PageState::ResetSlot(uint32_t slot)
{
    std::lock_guard lock(m_mutex);
    if (slot == 0 || slot > m_state.slots.size())
        return;
    Slot& place = m_state.slots[slot - 1];
    place.status = UnitStatus{};
    place.started.reset();
    Changed();
}

void PageState::RecordLine(const std::string& line)
{
    std::lock_guard lock(m_mutex);
    m_state.record.push_back(line);
    while (m_state.record.size() > kRecordLines)
        m_state.record.pop_front();
    Changed();
}

void PageState::Counted(UnitResult result)
{
    std::lock_guard lock(m_mutex);
    // As the station's summary counts: a cancelled unit is one that failed.
    const UnitResult shown = result == UnitResult::Cancelled ? UnitResult::Failed : result;
    ++m_state.counts[UnitResultName(shown)];
    ++m_state.counted;
    Changed();
}

void PageState::SetSection(const std::string& name, nlohmann::json value)
{
    std::lock_guard lock(m_mutex);
    m_state.sections[name] = std::move(value);
    Changed();
}

void PageState::SetEnded(bool ended)
{
    std::lock_guard lock(m_mutex);
    m_state.bEnded = ended;
    Changed();
}

void PageState::SetClosed()
{
    std::lock_guard lock(m_mutex);
    m_state.bClosed = true;
    Changed();
}

uint64_t PageState::Sequence() const
{
    std::lock_guard lock(m_mutex);
    return m_state.sequence;
}

uint64_t PageState::WaitForChange(uint64_t seen, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout, [&] { return m_state.sequence > seen; });
    return m_state.sequence;
}

uint64_t PageState::Ask(const std::string& text, const std::vector<std::string>& answers)
{
    std::lock_guard lock(m_mutex);
    m_state.question = Question{m_state.question.number + 1, text, answers, true, std::nullopt};
    Changed();
    return m_state.question.number;
}

bool PageState::Answer(const std::string& answer)
{
    std::lock_guard lock(m_mutex);
    Question& question = m_state.question;
    if (!question.bOpen)
        return false;
    const auto offered = std::find_if(question.answers.begin(), question.answers.end(),
                                      [&](const std::string& one) { return Plain(one) == Plain(answer); });
    if (offered == question.answers.end())
        return false;
    question.answer = *offered;
    question.bOpen = false;
    Changed();
    return true;
}

std::optional<std::string> PageState::WaitForAnswer(uint64_t question, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    const Question& asked = m_state.question;
    m_changed.wait_for(lock, timeout, [&] { return asked.number != question || !asked.bOpen; });
    return asked.number == question ? asked.answer : std::nullopt;
}

void PageState::Withdraw(uint64_t question)
{
    std::lock_guard lock(m_mutex);
    if (m_state.question.number != question || !m_state.question.bOpen)
        return;
    m_state.question.bOpen = false;
    Changed();
}

bool PageState::Asking(uint64_t question) const
{
    std::lock_guard lock(m_mutex);
    return m_state.question.number == question && m_state.question.bOpen;
}

nlohmann::json PageState::Snapshot() const
{
    Copy copy;
    {
        std::lock_guard lock(m_mutex);
        copy = m_state;
    }
    const auto now = Clock::now();
    nlohmann::json units = nlohmann::json::array();
    for (size_t i = 0; i < copy.slots.size(); ++i) {
        const Slot& slot = copy.slots[i];
        const UnitStatus& status = slot.status;
        const StateWords words = Words(status);
        nlohmann::json left = nullptr;
        if (std::string(words.state) == "running" && slot.started) {
            // What the plan still expects, at the pace seen so far (as the terminal's bar).
            const double fraction = status.percent / 100.0;
            const double elapsed = std::chrono::duration<double>(now - *slot.started).count();
            const double pace = fraction > 0.02 ? elapsed / (fraction * m_planSeconds) : 1.0;
            left = std::lround((1.0 - fraction) * m_planSeconds * pace);
        }
        units.push_back({{"slot", i + 1},
                         {"port", slot.port.empty() ? status.port : slot.port},
                         {"adapter", slot.adapter},
                         {"simulated", slot.bSimulated},
                         {"state", words.state},
                         {"stateText", words.text},
                         {"stage", status.stage},
                         {"stageTitle", status.stage != 0 ? StageTitle(status.stage) : ""},
                         {"step", status.step},
                         {"done", status.done},
                         {"total", status.total},
                         {"percent", status.percent},
                         {"secondsLeft", left},
                         {"versionBefore", Optional(status.versionBefore)},
                         {"versionAfter", Optional(status.versionAfter)},
                         {"hook", status.hook},
                         {"message", status.message},
                         {"detail", status.detail},
                         {"note", status.note},
                         {"error", status.error}});
    }
    nlohmann::json counts = nlohmann::json::object();
    for (const UnitResult result :
         {UnitResult::Updated, UnitResult::Failed, UnitResult::Skipped, UnitResult::Interrupted}) {
        const auto counted = copy.counts.find(UnitResultName(result));
        counts[UnitResultName(result)] = counted == copy.counts.end() ? 0 : counted->second;
    }
    const double hours = std::chrono::duration<double>(now - m_created).count() / 3600.0;
    nlohmann::json question = nullptr;
    if (copy.question.bOpen)
        question = {{"text", copy.question.text}, {"answers", copy.question.answers}};
    nlohmann::json state = nlohmann::json::object();
    for (auto& [name, value] : copy.sections)
        state[name] = std::move(value);
    state.update({{"mode", m_mode == PageMode::Owner ? "owner" : "station"},
                  {"carried", kCarriedFirmwareVersion},
                  {"sequence", copy.sequence},
                  {"units", std::move(units)},
                  {"counts", std::move(counts)},
                  {"unitsPerHour", copy.counted && hours > 0 ? OneDecimal(copy.counted / hours) : 0.0},
                  {"record", copy.record},
                  {"question", std::move(question)},
                  {"ended", copy.bEnded},
                  {"closed", copy.bClosed}});
    return state;
}

std::string PageState::SnapshotText() const
{
    return Snapshot().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
