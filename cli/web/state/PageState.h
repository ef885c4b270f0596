#pragma once
// What the updater's page shows, kept for whoever reads it: each slot's unit
// (its UnitStatus as StatusReport keeps it), a station's counts and units
// per hour, the record's last lines, the question the person is asked now,
// and sections the owner's flow sets. Thread-safe: the units' threads write
// with a brief lock and never wait for a reader; a reader takes the whole
// state as JSON (Snapshot), built outside the lock from a copy, so a page
// closed and opened again shows the state as it is.

#include "UnitRecord.h"
#include "UnitStatus.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

enum class PageMode { Owner, Station };

class PageState {
public:
    // slots: the tiles, numbered from 1 (one for an owner).
    PageState(PageMode mode, size_t slots);
    PageState(const PageState&) = delete;
    PageState& operator=(const PageState&) = delete;

    // From a unit's thread: its snapshot after each change. Brief lock, no
    // I/O, never waits on a reader. A slot outside 1 to slots is ignored.
    void UnitChanged(uint32_t slot, const UnitStatus& status);
    // What a tile is titled with: the port as shown and the adapter
    // ("FTDI FT232R USB UART", "simulated Kestrune (no real device)").
    void NameSlot(uint32_t slot, const std::string& port, const std::string& adapter, bool simulated = false);
    // A new unit in that slot: "waiting", its name kept.
    void ResetSlot(uint32_t slot);
    // The record's lines: the last kRecordLines are kept.
    void RecordLine(const std::string& line);
    // A unit the station tried: the counts and units per hour.
    void Counted(UnitResult result);
    // A section of the owner's flow ("ports", "found"): any JSON, shown as
    // is under its name. It never takes the place of a key of the state's own.
    void SetSection(const std::string& name, nlohmann::json value);
    // The bench's or station's run is over; the page still serves.
    void SetEnded(bool ended);
    // The updater is going: the page's last word before its server stops.
    void SetClosed();

    // The whole state, in the page's one format; and as text, where the
    // device's or a hook's bytes that are no UTF-8 come out replaced.
    nlohmann::json Snapshot() const;
    std::string SnapshotText() const;
    // Grows with every change.
    uint64_t Sequence() const;
    // Waits until Sequence() > seen or the timeout passes; Sequence() then.
    uint64_t WaitForChange(uint64_t seen, std::chrono::milliseconds timeout) const;

    // The question the person is asked now, with the answers offered (the
    // page's buttons); its number, for TakeAnswer and Withdraw.
    uint64_t Ask(const std::string& text, const std::vector<std::string>& answers);
    // The page's answer: false when no question is open or the answer is
    // not one offered (spaces and case aside).
    bool Answer(const std::string& answer);
    // Waits until question's answer came (the answer as offered), the
    // question was withdrawn (nullopt at once) or the timeout passed (nullopt).
    std::optional<std::string> WaitForAnswer(uint64_t question, std::chrono::milliseconds timeout);
    // The question is no longer asked; whoever waits for it returns.
    void Withdraw(uint64_t question);
    // The question is open: neither answered nor withdrawn.
    bool Asking(uint64_t question) const;

    static constexpr size_t kRecordLines = 8;

private:
    using Clock = std::chrono::steady_clock;
    struct Slot {
        std::string port;
        std::string adapter;
        bool bSimulated = false;
        UnitStatus status;
        std::optional<Clock::time_point> started; // the first stage began
    };
    struct Question {
        uint64_t number = 0;
        std::string text;
        std::vector<std::string> answers;
        bool bOpen = false;
        std::optional<std::string> answer;
    };
    // What Snapshot copies under the lock and builds JSON from outside it.
    struct Copy {
        std::vector<Slot> slots;
        std::map<std::string, size_t> counts;
        size_t counted = 0;
        std::deque<std::string> record;
        Question question;
        std::map<std::string, nlohmann::json> sections;
        bool bEnded = false;
        bool bClosed = false;
        uint64_t sequence = 0;
    };

    void Changed(); // under the lock

    const PageMode m_mode;
    const Clock::time_point m_created = Clock::now();
    const double m_planSeconds; // the whole update as the progress plan expects it
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    Copy m_state;
};
