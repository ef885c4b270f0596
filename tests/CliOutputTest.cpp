// What the command-line updater shows: the progress on a terminal, JSON
// events, the device's text and the wire trace.

#include "CliSupport.h"
#include "ProgressPlan.h"
#include "ScriptedPeer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

// On a terminal the progress is one line redrawn in place, at most ten
// times a second (each new step may add one), never wider than the
// terminal: the bar shrinks first. The trace has a line a frame, long
// frames folded.
TEST(CliUpdater, OnATerminalOneLineIsRedrawnAndTheTraceHasEveryFrame)
{
    const struct {
        unsigned short columns;
        const char* last; // the progress line's last redraw
    } widths[] = {
        {120, "\r[4/4] Application firmware program  [##############################] 100%  0:00 left"},
        {80, "\r[4/4] Application firmware program  [#########################] 100%  0:00 left"},
        {60, "\r[4/4] Application firmware program  [#####] 100%  0:00 left"},
    };
    for (const auto& width : widths) {
        ScriptedPeer terminal; // takes what is written to the terminal
        std::FILE* out = TerminalOfWidth(terminal.Path(), width.columns);
        ASSERT_TRUE(out);
        const std::string path = ::testing::TempDir() + "kz-trace.txt";
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(RunCli({"--trace", path}, "", {out}).exit, ExitSuccess);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fclose(out);
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the terminal's far end catches up
        const std::vector<uint8_t> bytes = terminal.Received();
        const std::string shown(bytes.begin(), bytes.end());
        const auto redraws = std::count(shown.begin(), shown.end(), '\r');
        EXPECT_GT(redraws, 9);
        EXPECT_LE(redraws, 10 * seconds + 9 + 1) << seconds << " s";
        EXPECT_TRUE(Has(shown, width.last)) << shown;
        EXPECT_TRUE(FitsColumns(shown, width.columns));
        EXPECT_FALSE(Has(shown, "247/247")); // counts are for plain output
        if (width.columns != 120)
            continue;
        std::ifstream trace(path);
        int pages = 0, blocks = 0, lines = 0;
        for (std::string line; std::getline(trace, line); ++lines) {
            if (Has(line, "-> mode 2  page 0x")) {
                ++pages;
                EXPECT_TRUE(Has(line, " 50 ") && Has(line, "..124 bytes..")) << line;
            }
            blocks += Has(line, "-> mode 2  write block 0x") ? 1 : 0;
        }
        EXPECT_EQ(pages, 49 + 247);
        EXPECT_EQ(blocks, 256);
        EXPECT_LT(lines, 2000); // one line a frame, not one a byte
    }
}

// The time left does not go up while the update goes at about the pace
// seen (a fixed pause met early, then late), but does once it falls well
// behind; before a pace can be measured it is the plan's.
TEST(CliUpdater, TimeLeftIsSteady)
{
    const struct {
        double fraction;
        double elapsedS;
        int left;
    } steps[] = {
        {0.0, 0.0, 20}, {0.01, 1.0, 20}, {0.1, 1.0, 9},   {0.2, 4.0, 9},   {0.3, 5.0, 9},
        {0.5, 8.0, 8},  {0.6, 13.0, 8},  {0.6, 40.0, 27}, {0.99, 41.0, 0}, {1.0, 41.5, 0},
    };
    TimeLeft timeLeft(20000);
    for (const auto& step : steps)
        EXPECT_EQ(timeLeft.Seconds(step.fraction, step.elapsedS), step.left) << step.fraction << " " << step.elapsedS;
}

TEST(CliUpdater, JsonEventsParseAndTellTheWholeRun)
{
    const CliRun run = RunCli({"--json", "--fault", "nak:clear"});
    EXPECT_EQ(run.exit, ExitStageFailed);
    nlohmann::json events = nlohmann::json::array(); // all but the progress, without the port's path
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        if (auto event = nlohmann::json::parse(line); event["event"] != "progress") { // throws on what is not JSON
            event.erase("port");
            events.push_back(event);
        }
    EXPECT_EQ(events, nlohmann::json::parse(R"([
        {"event": "start", "firmware": "5.0.3", "device_version": "4.2.1"},
        {"event": "stage_begin", "stage": 1, "name": "Primary bootstrap"}, {"event": "stage_end", "stage": 1, "ok": true},
        {"event": "stage_begin", "stage": 2, "name": "Secondary bootstrap"}, {"event": "stage_end", "stage": 2, "ok": false},
        {"event": "result", "ok": false, "stage": 2, "message": "Could Not Load the Secondary Bootstrap Program.",
         "detail": "clear: device answered 0x01"}])"));
}

// Whatever text the device reports, a person's terminal and a script's
// JSON get printable ASCII: every other byte, and the backslash, as \xNN.
TEST(CliUpdater, DeviceTextIsShownPrintableAndAsValidJson)
{
    const struct {
        std::vector<uint8_t> text; // the five bytes of the version
        const char* shown;
    } cases[] = {
        {{'4', '"', '2', '.', '1'}, "4\"2.1"},
        {{'4', '\\', '2', '.', '1'}, "4\\x5C2.1"},
        {{'4', 0x07, '2', 0x0D, '1'}, "4\\x072\\x0D1"},
        {{0x1B, '[', '2', 'J', 'A'}, "\\x1B[2JA"},
        {{0xC3, '(', 0xFF, 0x80, 'A'}, "\\xC3(\\xFF\\x80A"},
    };
    for (const auto& c : cases) {
        for (const bool json : {false, true}) {
            ScriptedPeer peer;
            std::vector<uint8_t> reply = {0x02, 0x08, 0x20, 0x01, 0xF7};
            reply.insert(reply.begin() + 3, c.text.begin(), c.text.end());
            peer.AnswerAfter(3, reply);
            const CliRun run = RunCli({"--device", peer.Path(), "--version-only", json ? "--json" : "-q"});
            EXPECT_EQ(run.exit, ExitSuccess);
            const auto printable = [](char ch) { return ch == '\n' || (ch >= 0x20 && ch < 0x7F); };
            EXPECT_TRUE(std::all_of(run.out.begin(), run.out.end(), printable)) << run.out;
            if (json)
                EXPECT_EQ(nlohmann::json::parse(run.out)["device_version"], c.shown) << run.out;
            else
                EXPECT_TRUE(Has(run.out, std::string("Version In Your Kestrune:  ") + c.shown + "\n")) << run.out;
        }
    }
}

} // namespace
