#pragma once
// One unit's update from its port on: the version it runs, the go-ahead
// (the person, or the station's bootstrap hook), the four stages, and the
// version it reports after its restart. A single update and every unit of
// a bench run through it; it tells its report as it goes and writes the
// unit's line to the record at the end.

#include "CliOptions.h"
#include "DeviceLink.h"
#include "GivenUnitIds.h"
#include "Hook.h"
#include "PersonPrompt.h"
#include "RoundRestart.h"
#include "UnitRecord.h"
#include "UpdateReport.h"
#include "UpdateTarget.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

class UnitRecorder;
class WireTrace;

// A unit's place on the station and who it may ask.
struct UnitPlace {
    uint32_t slot = 1;                 // 1-based position on the bench
    UnitRecorder* pRecorder = nullptr; // --record
    std::FILE* hookOutput = stderr;    // the hooks' lines
    bool bGoAheadGiven = false;        // the round's prompt asked already
    PersonPrompt* pPrompt = nullptr;   // who it asks; nullptr: it never asks (a bench asked once)
    PersonPrompt* pIdPrompt = nullptr; // --ask-unit-id: who types or scans the unit's id
    GivenUnitIds* pGivenIds = nullptr; // the ids given in this run, where another unit may have one
    RoundRestart* pRestart = nullptr;  // an attended bench's power cycle, for the whole round
    std::function<void(const std::string&)> hookLine = nullptr; // takes the hooks' lines instead, where set
    std::optional<std::string> versionPeeked = std::nullopt;    // what a query before the question read
};

class UnitUpdate {
public:
    // The options stand for this unit (a bench's faults for its slot).
    UnitUpdate(const CliOptions& options, const UpdateTarget& target, UpdateReport& report, WireTrace* trace,
               const UnitPlace& place);
    UnitUpdate(const UnitUpdate&) = delete;
    UnitUpdate& operator=(const UnitUpdate&) = delete;

    // The whole update; the record's line is written before it returns.
    UnitOutcome Run();

private:
    UnitOutcome FromPort();
    bool Resolve();
    UnitOutcome TakeUnitId();
    // "" once id is this unit's; otherwise why not.
    std::string ClaimUnitId(const std::string& id);
    UnitOutcome OpenAndAskVersion();
    void AdviseOnAdapter();
    UnitOutcome GoAhead();
    UnitOutcome Stages();
    UnitOutcome Restart();
    UnitOutcome CheckRestart(bool hook);
    void AskAgainAfterRestart();
    UnitOutcome Interrupted(int stage, const std::string& detail);
    // The hook named by name, ended early by a signal; told to the report.
    HookResult RunStationHook(const char* name, const std::string& command);
    bool Asks() const { return m_place.pPrompt && !m_options.bAssumeYes; }

    class Observer : public LinkObserver {
    public:
        Observer(UpdateReport& report, WireTrace* trace) : m_report(report), m_pTrace(trace) {}
        void OnStep(const StageProgress& progress) override { m_report.Step(progress); }
        void OnFrame(Direction direction, int16_t mode, const ExchangeLabel& exchange, const uint8_t* bytes,
                     uint32_t count) override;
        bool StopRequested() override;

        std::vector<uint8_t> versionReply; // the last answer to a version query

    private:
        UpdateReport& m_report;
        WireTrace* m_pTrace;
    };

    const CliOptions& m_options;
    UpdateTarget m_target;
    UpdateReport& m_report;
    const UnitPlace& m_place;
    Observer m_observer;
    CDeviceLink m_link;
    UnitRecord m_record;
};
