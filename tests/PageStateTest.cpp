// The page's state: a unit's events, through its StatusReport and a
// PageWatcher, as the page's snapshot shows them; a reload, the question
// and its answers, and what a reader holds against what the units change.

#include "PageState.h"
#include "Interrupts.h"
#include "PagePrompt.h"
#include "PageWatcher.h"
#include "ProgressPlan.h"

#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <thread>

namespace {

using Json = nlohmann::json;

const std::string kFpgaDetail = "page 0xBB00 of bank 2: device answered 0x01 (a byte failed to program); "
                                "the device's last words before it stopped answering were long enough to be cut "
                                "by a page that shows only the first line or the first hundred characters of them";

void Opened(UpdateReport& report) { report.Start("/dev/ttyUSB0", std::string("4.2.1")); }

void Programming(UpdateReport& report)
{
    Opened(report);
    report.Step({2, UpdateStep::Download, 256, 256});
    report.Step({3, UpdateStep::Program, 7, 296});
}

void Updated(UpdateReport& report)
{
    Programming(report);
    report.Step({4, UpdateStep::Program, 296, 296});
    report.Outcome(0, "", 30.5);
    report.VersionAfter(std::string("5.0.3"));
    report.Ended(UnitOutcome::Done);
}

void FailedInStage3(UpdateReport& report)
{
    Programming(report);
    report.Outcome(3, kFpgaDetail.c_str(), 4.9);
    report.Ended(UnitOutcome::Failed);
}

void BootstrapHookRunning(UpdateReport& report)
{
    Opened(report);
    report.Hook("bootstrap");
}

void BootstrapHookFailed(UpdateReport& report)
{
    BootstrapHookRunning(report);
    report.Hook(nullptr);
    report.BootstrapHookFailed("bootstrap hook 'relay 2' exited with status 1: relay 2, stuck");
    report.Ended(UnitOutcome::Failed);
}

void PowerCycleRunning(UpdateReport& report)
{
    Programming(report);
    report.Outcome(0, "", 30.5);
    report.Hook("power-cycle");
}

void WrongVersionAfter(UpdateReport& report)
{
    PowerCycleRunning(report);
    report.Hook(nullptr);
    report.VersionAfter(std::string("4.2.1"));
    report.RestartChecked(false, "it reports 4.2.1, not 5.0.3");
    report.Ended(UnitOutcome::Failed);
}

void AlreadyCurrent(UpdateReport& report)
{
    report.Start("/dev/ttyUSB0", std::string("5.0.3"));
    report.Skipped();
    report.Ended(UnitOutcome::Skipped);
}

void Unavailable(UpdateReport& report)
{
    report.PortUnavailable("/dev/ttyUSB0: Permission denied.");
    report.Ended(UnitOutcome::PortUnavailable);
}

void InterruptedInStage2(UpdateReport& report)
{
    Opened(report);
    report.Step({2, UpdateStep::Write, 100, 256});
    report.Interrupted(2, SIGINT, "write block 0x6C60");
    report.Ended(UnitOutcome::Interrupted);
}

void SilentDevice(UpdateReport& report) { report.Start("/dev/ttyUSB0", std::nullopt); }

struct UnitCase {
    const char* what;
    void (*events)(UpdateReport&);
    Json expected; // the unit's fields that must be so
};

// Each row's events, as a unit's update tells them, end in the tile's fields.
TEST(PageState, AUnitsEventsShowOnItsTile)
{
    const UnitCase cases[] = {
        {"waiting", Opened, {{"state", "waiting"}, {"versionBefore", "4.2.1"}, {"versionAfter", nullptr}}},
        {"programming",
         Programming,
         {{"state", "running"},
          {"stateText", "Stage 3 of 4: program"},
          {"stage", 3},
          {"stageTitle", "FPGA firmware"},
          {"step", "program"},
          {"done", 7},
          {"total", 296}}},
        {"updated",
         Updated,
         {{"state", "updated"},
          {"percent", 100},
          {"versionBefore", "4.2.1"},
          {"versionAfter", "5.0.3"},
          {"secondsLeft", nullptr}}},
        {"failed, the detail in full",
         FailedInStage3,
         {{"state", "failed"},
          {"stateText", "failed in stage 3"},
          {"message", "Could Not Load the FPGA Firmware."},
          {"detail", kFpgaDetail},
          {"versionAfter", nullptr}}},
        {"bootstrap hook", BootstrapHookRunning, {{"state", "hook"}, {"hook", "bootstrap"}}},
        {"bootstrap hook failed",
         BootstrapHookFailed,
         {{"state", "failed"},
          {"hook", ""},
          {"message", ""},
          {"detail", "bootstrap hook 'relay 2' exited with status 1: relay 2, stuck"}}},
        {"power-cycle hook", PowerCycleRunning, {{"state", "hook"}, {"stateText", "power-cycle hook running"}}},
        {"another version after the power cycle",
         WrongVersionAfter,
         {{"state", "failed"},
          {"versionAfter", "4.2.1"},
          {"detail", "after the power cycle: it reports 4.2.1, not 5.0.3"}}},
        {"skipped", AlreadyCurrent, {{"state", "skipped"}, {"versionBefore", "5.0.3"}}},
        {"port unavailable", Unavailable, {{"state", "unavailable"}, {"error", "/dev/ttyUSB0: Permission denied.\n"}}},
        {"interrupted",
         InterruptedInStage2,
         {{"state", "interrupted"}, {"stage", 2}, {"detail", "write block 0x6C60"}}},
        {"a device that did not answer", SilentDevice, {{"state", "waiting"}, {"versionBefore", nullptr}}},
    };
    const ProgressPlan plan = ProgressPlan::ForCarriedImages();
    for (const UnitCase& c : cases) {
        PageState page(PageMode::Station, 2);
        page.NameSlot(2, "COM5", "FTDI FT232R USB UART");
        PageWatcher watcher(&page, 2);
        StatusReport report(plan, watcher);
        c.events(report);
        const Json state = page.Snapshot();
        ASSERT_EQ(state["units"].size(), 2u);
        const Json& unit = state["units"][1];
        EXPECT_EQ(unit["slot"], 2);
        EXPECT_EQ(unit["port"], "COM5") << c.what;
        EXPECT_EQ(unit["adapter"], "FTDI FT232R USB UART") << c.what;
        for (const auto& [key, value] : c.expected.items())
            EXPECT_EQ(unit[key], value) << c.what << ": " << key << " in " << unit.dump(1);
        EXPECT_EQ(state["units"][0]["state"], "waiting") << c.what; // the other slot saw nothing
        // A page opened again shows the same; only the time left moves on with the clock.
        Json again = page.Snapshot();
        Json before = state;
        again["units"][1].erase("secondsLeft");
        before["units"][1].erase("secondsLeft");
        EXPECT_EQ(again, before) << c.what;
        EXPECT_NO_THROW(page.SnapshotText()) << c.what;
    }
}

TEST(PageState, TheSnapshotHasTheContractsKeys)
{
    PageState page(PageMode::Station, 1);
    const Json state = page.Snapshot();
    for (const char* key :
         {"mode", "carried", "sequence", "units", "counts", "unitsPerHour", "record", "question", "ended"})
        EXPECT_TRUE(state.contains(key)) << key;
    EXPECT_EQ(state["mode"], "station");
    EXPECT_EQ(state["carried"], "5.0.3");
    EXPECT_EQ(PageState(PageMode::Owner, 1).Snapshot()["mode"], "owner");
    for (const char* key : {"slot",         "port", "adapter", "simulated", "state",   "stateText",   "stage",
                            "stageTitle",   "step", "done",    "total",     "percent", "secondsLeft", "versionBefore",
                            "versionAfter", "hook", "message", "detail",    "note",    "error"})
        EXPECT_TRUE(state["units"][0].contains(key)) << key;
}

// Every change moves the sequence on, so that the server pushes it; a
// reader that has seen less than there is returns at once.
TEST(PageState, TheSequenceGrowsWithEveryChange)
{
    PageState page(PageMode::Station, 2);
    uint64_t seen = page.Sequence();
    const auto grew = [&] {
        const uint64_t now = page.Sequence();
        const bool more = now > seen;
        seen = now;
        return more;
    };
    page.NameSlot(1, "simulated 1", "simulated Kestrune (no real device)", true);
    EXPECT_TRUE(grew());
    page.UnitChanged(1, UnitStatus{});
    EXPECT_TRUE(grew());
    page.RecordLine("slot 1 updated");
    EXPECT_TRUE(grew());
    page.Counted(UnitResult::Updated);
    EXPECT_TRUE(grew());
    page.SetSection("ports", Json::array({"COM5"}));
    EXPECT_TRUE(grew());
    page.ResetSlot(1);
    EXPECT_TRUE(grew());
    page.SetEnded(true);
    EXPECT_TRUE(grew());
    page.Ask("Go on?", {"yes", "no"});
    EXPECT_TRUE(grew());
    EXPECT_EQ(page.WaitForChange(seen - 1, std::chrono::hours(1)), seen);
    EXPECT_EQ(page.Snapshot()["sequence"], seen);
    page.UnitChanged(3, UnitStatus{}); // no such slot
    EXPECT_FALSE(grew());
}

TEST(PageState, CountsRecordAndSections)
{
    PageState page(PageMode::Station, 1);
    for (const UnitResult result : {UnitResult::Updated, UnitResult::Updated, UnitResult::Failed, UnitResult::Cancelled,
                                    UnitResult::Skipped, UnitResult::Interrupted})
        page.Counted(result);
    for (int i = 1; i <= 10; ++i)
        page.RecordLine("line " + std::to_string(i));
    page.SetSection("ports", Json::array({"COM5", "COM7"}));
    page.SetSection("units", "not the units"); // a section never hides the state's own keys
    page.NameSlot(1, "simulated 1", "simulated Kestrune (no real device)", true);
    UnitStatus garbled;
    garbled.versionBefore = "4.2\xFF";
    page.UnitChanged(1, garbled);
    const Json state = page.Snapshot();
    EXPECT_EQ(state["counts"], Json({{"updated", 2}, {"failed", 2}, {"skipped", 1}, {"interrupted", 1}}));
    EXPECT_GT(state["unitsPerHour"].get<double>(), 0);
    EXPECT_EQ(state["record"].size(), PageState::kRecordLines);
    EXPECT_EQ(state["record"].front(), "line 3");
    EXPECT_EQ(state["record"].back(), "line 10");
    EXPECT_EQ(state["ports"], Json::array({"COM5", "COM7"}));
    EXPECT_TRUE(state["units"].is_array());
    EXPECT_EQ(state["units"][0]["simulated"], true);
    // A device's byte that is no UTF-8 comes out replaced, not as an exception in the server.
    EXPECT_NE(page.SnapshotText().find("4.2\xEF\xBF\xBD"), std::string::npos);
}

// The page answers only a question that is open, and only with an answer offered.
TEST(PageState, AnAnswerNotOfferedIsRefused)
{
    PageState page(PageMode::Station, 1);
    EXPECT_FALSE(page.Answer("yes")) << "no question open";
    const uint64_t asked = page.Ask("Put the next Kestrunes into bootstrap mode", {"next", "q"});
    EXPECT_EQ(page.Snapshot()["question"],
              Json({{"text", "Put the next Kestrunes into bootstrap mode"}, {"answers", {"next", "q"}}}));
    EXPECT_TRUE(page.Asking(asked));
    EXPECT_FALSE(page.Answer("yes"));
    EXPECT_FALSE(page.Answer(""));
    EXPECT_EQ(page.WaitForAnswer(asked, std::chrono::milliseconds(0)), std::nullopt);
    EXPECT_TRUE(page.Answer(" Q "));
    EXPECT_FALSE(page.Answer("q")) << "answered once";
    EXPECT_EQ(page.WaitForAnswer(asked, std::chrono::hours(1)), "q");
    EXPECT_EQ(page.Snapshot()["question"], nullptr);
    const uint64_t next = page.Ask("Go on?", {"yes", "no"});
    page.Withdraw(next);
    EXPECT_FALSE(page.Answer("yes")) << "withdrawn";
    EXPECT_EQ(page.WaitForAnswer(next, std::chrono::hours(1)), std::nullopt);
}

// A reader holds a copy: what the units change meanwhile neither waits for
// it nor changes what it holds; a reader waiting for a change is woken by it.
TEST(PageState, AReaderHoldsACopyAndTheUnitNeverWaitsForIt)
{
    PageState page(PageMode::Station, 1);
    const Json held = page.Snapshot();
    auto waiting =
        std::async(std::launch::async, [&] { return page.WaitForChange(held["sequence"], std::chrono::hours(1)); });
    UnitStatus status;
    status.stage = 3;
    status.step = "program";
    page.UnitChanged(1, status);
    EXPECT_EQ(waiting.get(), held["sequence"].get<uint64_t>() + 1);
    EXPECT_EQ(held["units"][0]["state"], "waiting");
    EXPECT_EQ(page.Snapshot()["units"][0]["state"], "running");
}

// The person answers on the page; a Close or a signal ends the question unanswered.
TEST(PageState, APagePromptWaitsForThePageCloseOrASignal)
{
    CatchInterrupts();
    PageState page(PageMode::Station, 1);
    PagePrompt prompt(page);
    uint64_t seen = page.Sequence();
    prompt.Tell("1 of the 2 Kestrunes already run 5.0.3 and will be skipped; leave them as they are.\n");
    auto asked = std::async(std::launch::async, [&] {
        return prompt.Ask("Put each of the 1 Kestrunes into bootstrap mode: power off for 5 seconds, hold \"SET\"\n"
                          "while powering on, release it after 5 seconds. Then type yes and press Enter: ",
                          {"yes", "no"});
    });
    while (page.Snapshot()["question"].is_null())
        seen = page.WaitForChange(seen, std::chrono::hours(1));
    EXPECT_EQ(page.Snapshot()["question"],
              Json({{"text", "1 of the 2 Kestrunes already run 5.0.3 and will be skipped; leave them as they are. "
                             "Put each of the 1 Kestrunes into bootstrap mode: power off for 5 seconds, hold \"SET\" "
                             "while powering on, release it after 5 seconds. Then press yes"},
                    {"answers", {"yes", "no"}}}));
    EXPECT_FALSE(page.Answer("maybe"));
    EXPECT_TRUE(page.Answer("yes"));
    EXPECT_EQ(asked.get(), "yes");

    // Enter is the button "continue", and its answer "" as at the terminal.
    auto round = std::async(std::launch::async, [&] {
        return prompt.Ask("Put the next Kestrunes into bootstrap mode and press Enter, or type q to stop: ", {"", "q"});
    });
    while (page.Snapshot()["question"].is_null())
        seen = page.WaitForChange(seen, std::chrono::hours(1));
    EXPECT_EQ(page.Snapshot()["question"],
              Json({{"text", "Put the next Kestrunes into bootstrap mode and press continue, or q to stop"},
                    {"answers", {"continue", "q"}}}));
    EXPECT_TRUE(page.Answer("continue"));
    EXPECT_EQ(round.get(), "");
    EXPECT_EQ(page.Snapshot()["question"], nullptr);

    auto closed = std::async(std::launch::async, [&] { return prompt.Ask("Go on?", {"yes", "no"}); });
    while (page.Snapshot()["question"].is_null())
        seen = page.WaitForChange(seen, std::chrono::hours(1));
    prompt.Close();
    EXPECT_EQ(closed.get(), std::nullopt);
    EXPECT_EQ(page.Snapshot()["question"], nullptr);
    EXPECT_EQ(prompt.Ask("Again?", {"yes", "no"}), std::nullopt) << "closed for good";

    PagePrompt other(page);
    auto interrupted = std::async(std::launch::async, [&] { return other.Ask("Next?", {"", "q"}); });
    while (page.Snapshot()["question"].is_null())
        seen = page.WaitForChange(seen, std::chrono::hours(1));
    std::raise(SIGINT); // noted by the handler; the prompt looks for it while it waits
    EXPECT_EQ(interrupted.get(), std::nullopt);
    EXPECT_EQ(page.Snapshot()["question"], nullptr);
    EXPECT_EQ(other.Ask("Next?", {"", "q"}), std::nullopt) << "asks nothing after a signal";
    CatchInterrupts(); // forgets the signal
}

} // namespace
