// The command-line updater run as a whole: the prompt, and what a run says (the steps, the outcome, a port that will
// not open, an update that ended early).

#include "CliSupport.h"
#include "ScriptedPeer.h"
#include "SimulatedKestrune.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct PromptCase {
    const char* input;
    bool starts;
};

// With a device that never answers, an update that starts fails in stage 1;
// one that does not start has sent the version query only.
TEST(CliPrompt, OnlyAnExplicitYesStartsTheUpdate)
{
    const PromptCase cases[] = {{"y\n", true},   {"Y\n", true},  {"yes\n", true},   {" YES \n", true}, {"\n", false},
                                {"no\n", false}, {"n\n", false}, {"yess\n", false}, {"junk\n", false}, {"", false}};
    for (const PromptCase& c : cases) {
        ScriptedPeer peer;
        const CliRun run = RunCli({"--device", peer.Path()}, c.input);
        EXPECT_EQ(run.exit, c.starts ? ExitStageFailed : ExitCancelled) << '"' << c.input << '"';
        if (!c.starts) {
            EXPECT_EQ(peer.Received(3), (std::vector<uint8_t>{0x02, 0x01, 0x20}));
            EXPECT_TRUE(Has(run.err, "Only the version query was sent")) << run.err;
        }
    }
}

struct RunCase {
    const char* what;
    std::vector<std::string> args;
    int exit;
    std::vector<std::string> out; // in this order; nothing at all where none
    std::vector<std::string> notOut;
    std::vector<std::string> err; // nothing at all where none
    int signal = 0;               // sent signalMs after the start
    int signalMs = 0;
    int withinMs = 0; // the run ends within so long, where set
    std::string input = "";
};

// The version frame a Kestrune's firmware answers with.
std::vector<uint8_t> VersionFrame(const char* text)
{
    std::vector<uint8_t> frame = {0x02, 0x08, 0x20, 0x01, 0xF7};
    frame.insert(frame.begin() + 3, text, text + 5);
    return frame;
}

// Updates of the simulated Kestrune and ports that will not open. An update
// ends within half a second of a signal, or of the adapter going away, with
// the stage, where it stopped, and what to do next. Words meant for the
// dialog stay in the dialog.
TEST(CliRuns, SayWhatHappenedAndWhereItStopped)
{
    ScriptedPeer held;
    Holder holder(held.Path());
    const std::string file = ::testing::TempDir() + "kz-not-a-port";
    std::ofstream(file) << "text";
    const auto version = [](const std::string& device) {
        return std::vector<std::string>{"--device", device, "--version-only"};
    };
    const std::string before = "Version In Your Kestrune:  4.2.1";
    ScriptedPeer unrecorded; // gets nothing: the record cannot be opened
    const std::string failingHook = "echo relay 4 stuck >&2; exit 3";
    // The power-cycle hook fails where the bootstrap hook's child still runs.
    const std::string childFile = ::testing::TempDir() + "kz-hook-child";
    const std::string childGone = "! kill -0 $(cat " + childFile + ") 2>/dev/null || { echo still there >&2; exit 1; }";
    const auto leavesChild = [&](const std::string& start) {
        return std::vector<std::string>{"--bootstrap-command", start + " & echo $! >" + childFile,
                                        "--power-cycle-command", childGone};
    };
    ScriptedPeer garbled; // the device's line-error frame, as through an adapter without parity
    garbled.AnswerAfter(3, {0x02, 0x02, 0x15, 0x01});
    const ScriptedPeer unconnectable(ScriptedPeer::Kind::SilentListener), mute(ScriptedPeer::Kind::PortServer);
    const std::string unconnectableAt = unconnectable.Path().substr(std::string("rfc2217://").size());
    ScriptedPeer silent, silentJson, running, current; // no answer; the firmware 4.2.1, and 5.0.3
    running.AnswerAfter(3, VersionFrame("4.2.1"));
    current.AnswerAfter(3, VersionFrame("5.0.3"));
    const std::string noAnswer = "\"???\": no answer to the version query. The Kestrune may be switched off, "
                                 "already in bootstrap mode";
    const RunCase cases[] = {
        {"an update",
         {},
         ExitSuccess,
         {"Simulated Kestrune: no real device is touched.\nPort:                      simulated Kestrune on /dev/pts/",
          before, "[3/4] FPGA firmware        erase    1/1", "[4/4] Application firmware program  247/247",
          "Firmware update was successful", "Simulated Kestrune updated; no real device was touched.\n",
          "Version In Your Kestrune:  5.0.3", "Simulated; for a real one use --device PATH or --port N.\n"},
         {"clicking OK", "click away"},
         {}},
        {"a failed page",
         {"--fault", "nak:program:7"},
         ExitStageFailed,
         {"[3/4] FPGA firmware        program  6/49  stopped here"},
         {"[4/4]"},
         {"Kestrune Zeruzuz Error: Could Not Load the FPGA Firmware.\n  page 0xBB00 of bank 2: "}},
        {"a read-back cut short",
         {"--fault", "silence:read:100"},
         ExitSuccess,
         {"Firmware update was successful", "\n  Note: only 99 of 256 blocks of the secondary loader were read back "
                                            "(read block 0x6C60: no answer within 100 ms); the loader then answered "
                                            "'Y'.\n"},
         {},
         {}},
        {"quiet",
         {"-q", "--fault", "silence:ping"},
         ExitStageFailed,
         {before},
         {"[1/4]", "SET"},
         {"Could Not Load the Secondary Bootstrap Program.\n  ping"}},
        {"no such port",
         version("/nonexistent/ttyKZ"),
         ExitPortUnavailable,
         {},
         {},
         {"/nonexistent/ttyKZ: No such file or directory", "--list-ports"}},
        {"a file", version(file), ExitPortUnavailable, {}, {}, {file + ": not a terminal device (a file)"}},
        {"a folder", version("/tmp"), ExitPortUnavailable, {}, {}, {"/tmp: not a terminal device (a folder)"}},
        {"a port another program holds",
         version(held.Path()),
         ExitPortUnavailable,
         {},
         {},
         {held.Path() + ": in use by another program:", "(process " + std::to_string(holder.pid) + ")"}},
        {"a port by number",
         {"--port", "200", "--version-only"},
         ExitPortUnavailable,
         {},
         {},
         {"/dev/ttyS199: No such file or directory"}},
        {"a port by COM name",
         {"--port", "COM200", "--version-only"},
         ExitPortUnavailable,
         {},
         {},
         {"/dev/ttyS199: No such file or directory"}},
        {"a path by -p",
         {"-p", "/nonexistent/ttyKZ"},
         ExitPortUnavailable,
         {},
         {},
         {"/nonexistent/ttyKZ: No such file"}},
        {"a port server whose connection never completes",
         version(unconnectable.Path()),
         ExitPortUnavailable,
         {},
         {},
         {unconnectableAt + ": no connection within 5 s"},
         0,
         0,
         6000},
        {"Ctrl-C",
         {"--paced"},
         130,
         {before},
         {},
         {"Interrupted during stage 2 (Secondary bootstrap)", "bootstrap mode again"},
         SIGINT,
         3500},
        {"SIGTERM",
         {"--paced", "-q"},
         143,
         {before},
         {},
         {"Terminated during stage 2", "bootstrap mode again"},
         SIGTERM,
         3500},
        {"Ctrl-C in a fixed pause",
         {"-q"},
         130,
         {before},
         {},
         {"interrupted during the 2 s pause after erasing bank 2", "bootstrap mode again"},
         SIGINT,
         3700},
        {"SIGTERM while a network port opens",
         version(mute.Path()),
         143,
         {},
         {},
         {"Terminated before the update began; nothing was sent for it."},
         SIGTERM,
         300},
        {"adapter pulled",
         {"--fault", "unplug-adapter:write:100"},
         ExitStageFailed,
         {before},
         {},
         {"write block 0x6C60: the serial adapter was disconnected"}},
        {"adapter pulled before a write",
         {"--fault", "unplug-adapter:jump"},
         ExitStageFailed,
         {before},
         {},
         {"ping: the write failed: the serial adapter was disconnected"}},
        {"a garbled answer",
         version(garbled.Path()),
         ExitNoAnswer,
         {"Version In Your Kestrune:  ???", "the adapter or its driver may not support parity"},
         {},
         {}},
        {"--version-only against silence",
         version(silent.Path()),
         ExitNoAnswer,
         {"Version In Your Kestrune:  ???", noAnswer, "on another port", "does not support parity"},
         {},
         {}},
        {"--version-only --json against silence",
         {"--device", silentJson.Path(), "--version-only", "--json"},
         ExitNoAnswer,
         {"\"device_version\":null"},
         {},
         {}},
        {"a unit running its firmware, not its bootstrap mode",
         {"--device", running.Path()},
         ExitStageFailed,
         {before, "type yes",
          "The Kestrune answered the version query, so it was running its firmware, not its "
          "bootstrap mode: power it off for 5 seconds, hold \"SET\""},
         {noAnswer, "simulated"},
         {"Kestrune Zeruzuz Error: Could Not Load the Primary Bootstrap Program.\n  download echo"},
         0,
         0,
         0,
         "yes\n"},
        {"a unit that already runs 5.0.3",
         {"--device", current.Path()},
         ExitCancelled,
         {"Version In Your Kestrune:  5.0.3",
          "The Kestrune already runs 5.0.3; the update writes the same firmware again.\nThen type yes"},
         {},
         {"Update cancelled"},
         0,
         0,
         0,
         "no\n"},
        {"a record that cannot be opened",
         {"--device", unrecorded.Path(), "-y", "--record", "/nonexistent/dir/r.jsonl"},
         ExitUsage,
         {},
         {},
         {"kestrune-update: cannot open the record /nonexistent/dir/r.jsonl: No such file or directory"}},
        {"a record on a full disk",
         {"--record", "/dev/full"},
         ExitStageFailed,
         {before, "Firmware update was successful", "Version In Your Kestrune:  5.0.3"},
         {},
         {"writing the record /dev/full failed: No space left on device; the unit on slot 1"}},
        {"hooks, with the port and slot",
         {"--bootstrap-command", "echo slot $KESTRUNE_SLOT on $KESTRUNE_PORT", "--power-cycle-command",
          "echo cycled >&2"},
         ExitSuccess,
         {before, "Firmware update was successful", "Version In Your Kestrune:  5.0.3"},
         {"Instructions", "type yes"},
         {"[slot 1 bootstrap] slot 1 on /dev/pts/", "[slot 1 power-cycle] cycled"}},
        {"a bootstrap hook that fails",
         {"--bootstrap-command", failingHook},
         ExitStageFailed,
         {before},
         {"[1/4]"},
         {"[slot 1 bootstrap] relay 4 stuck", "The bootstrap hook failed; nothing was sent for the update.",
          "bootstrap hook '" + failingHook + "' exited with status 3: relay 4 stuck"}},
        {"a hook that runs over",
         {"--bootstrap-command", "echo waiting >&2; sleep 30", "--hook-timeout", "1"},
         ExitStageFailed,
         {before},
         {"[1/4]"},
         {"bootstrap hook 'echo waiting >&2; sleep 30' ran over its 1 s and was stopped: waiting"}},
        {"a hook that prints escape sequences",
         {"--bootstrap-command", "printf '\\033]0;title\\007\\033[2J\\377\\n' >&2; exit 1"},
         ExitStageFailed,
         {before},
         {"[1/4]"},
         {"[slot 1 bootstrap] \\x1B]0;title\\x07\\x1B[2J\\xFF", "exited with status 1: \\x1B]0;title"}},
        {"a hook's background child", leavesChild("sleep 60"), ExitSuccess, {before, "5.0.3"}, {}, {}},
        {"a hook's child in a session of its own",
         leavesChild("setsid sleep 60"),
         ExitSuccess,
         {before, "5.0.3"},
         {},
         {}},
        {"a hook that runs over, its child in a session of its own",
         {"--bootstrap-command", "setsid sleep 60 & echo $! >" + childFile + "; sleep 30", "--hook-timeout", "1"},
         ExitStageFailed,
         {before},
         {"[1/4]"},
         {"ran over its 1 s"}},
        {"a power-cycle hook that fails",
         {"--power-cycle-command", "exit 1"},
         ExitStageFailed,
         {before, "Firmware update was successful"},
         {"Version In Your Kestrune:  5.0.3"},
         {"after the power cycle: power-cycle hook 'exit 1' exited with status 1"}},
        {"--skip-current on a unit that runs another version",
         {"--skip-current"},
         ExitSuccess,
         {before, "Firmware update was successful", "Version In Your Kestrune:  5.0.3"},
         {"already runs"},
         {}},
        {"a flash that took nothing, found after the power cycle",
         {"--fault", "unwritten:erase:0", "--fault", "unwritten:program:0", "--power-cycle-command", "true"},
         ExitStageFailed,
         {before, "Firmware update was successful", "Version In Your Kestrune:  4.2.1"},
         {"Version In Your Kestrune:  5.0.3"},
         {"it reports 4.2.1, not 5.0.3"}},
        {"a station whose scanner reads a label twice: the id is refused and asked for again",
         {"--station", "--units", "2", "--ask-unit-id"},
         ExitSuccess,
         {"Unit SN-1.", "Not taken: the id SN-1 is another unit's (finished in slot 1 in this run).", "Unit SN-2.",
          "Station: 2 units in 2 rounds: 2 updated, 0 failed"},
         {},
         {},
         0,
         0,
         0,
         "SN-1\nSN-1\nSN-2\n"},
        {"a USB name no adapter has",
         {"--device", "usb:NOSUCH123", "--version-only"},
         ExitPortUnavailable,
         {},
         {},
         {"usb:NOSUCH123: no USB serial adapter with serial number NOSUCH123 is present"}},
    };
    for (const RunCase& c : cases) {
        const auto started = Clock::now();
        Clock::time_point signalled{};
        std::thread sender;
        if (c.signal)
            sender = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(c.signalMs));
                signalled = Clock::now();
                kill(getpid(), c.signal);
            });
        const CliRun run = RunCli(c.args, c.input);
        const auto ended = Clock::now();
        if (sender.joinable())
            sender.join();
        EXPECT_EQ(run.exit, c.exit) << c.what << ": " << run.err;
        EXPECT_TRUE(!c.withinMs || ended - started < std::chrono::milliseconds(c.withinMs)) << c.what;
        EXPECT_EQ(run.out.empty(), c.out.empty()) << c.what << ": " << run.out;
        size_t at = 0;
        for (const std::string& part : c.out)
            EXPECT_NE(at = run.out.find(part, at), std::string::npos) << c.what << ": " << part << " in\n" << run.out;
        for (const std::string& part : c.notOut)
            EXPECT_FALSE(Has(run.out, part)) << c.what << ": " << part << " in\n" << run.out;
        EXPECT_EQ(run.err.empty(), c.err.empty()) << c.what << ": " << run.err;
        EXPECT_TRUE(PlainText(run.out) && PlainText(run.err)) << c.what;
        pid_t child = 0;
        if (std::ifstream(childFile) >> child) {
            EXPECT_NE(kill(child, 0), 0) << c.what; // gone, and reaped
        }
        std::remove(childFile.c_str());
        for (const std::string& part : c.err)
            EXPECT_TRUE(Has(run.err, part)) << c.what << ": " << run.err;
        if (c.signal) {
            EXPECT_LT(ended - signalled, std::chrono::milliseconds(500)) << c.what;
            EXPECT_FALSE(Has(run.err, "no answer") || Has(run.err, "disconnected")) << run.err;
        }
    }
    EXPECT_TRUE(unrecorded.Received().empty());
}

// A power cycle that brought no answer (here none was made: the Kestrune
// still runs the loader) is explained, and the person may ask again, as
// often as Enter is pressed, or stop with q.
TEST(CliUpdater, NoAnswerAfterThePowerCycleMayBeAskedAgain)
{
    SimulatedKestrune sim;
    ASSERT_TRUE(sim.Start());
    sim.PowerCycle(true);
    const CliRun run = RunCli({"--device", sim.DevicePath()}, "yes\n\n\nq\n");
    EXPECT_EQ(run.exit, ExitSuccess) << run.err;
    const std::string after = run.out.substr(run.out.find("Firmware update was successful"));
    size_t unknown = 0, asked = 0;
    for (size_t at = 0;
         (at = after.find("Version In Your Kestrune:  ???\n  \"???\": no answer", at)) != std::string::npos; ++at)
        ++unknown;
    for (size_t at = 0;
         (at = after.find("Press Enter to ask the Kestrune again, or type q to stop: ", at)) != std::string::npos; ++at)
        ++asked;
    EXPECT_EQ(unknown, 2U) << after;
    EXPECT_EQ(asked, 2U) << after;
}

// Ctrl-C while the person is asked, or while the bootstrap hook runs (which
// it ends): nothing but the version query reaches the device.
TEST(CliUpdater, InterruptBeforeTheUpdateSendsNothing)
{
    const std::vector<std::string> waits[] = {{}, {"--bootstrap-command", "sleep 30"}};
    for (const std::vector<std::string>& wait : waits) {
        ScriptedPeer peer;
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        std::FILE* in = fdopen(fds[0], "r"); // nobody answers
        std::thread sender([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            kill(getpid(), SIGINT);
        });
        std::vector<std::string> args{"--device", peer.Path()};
        args.insert(args.end(), wait.begin(), wait.end());
        const auto start = Clock::now();
        const CliRun run = RunCli(args, "", {nullptr, in});
        sender.join();
        std::fclose(in);
        close(fds[1]);
        EXPECT_EQ(run.exit, 130);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)); // the hook did not run on
        EXPECT_TRUE(Has(run.err, "nothing was sent for it")) << run.err;
        EXPECT_EQ(peer.Received(3), (std::vector<uint8_t>{0x02, 0x01, 0x20}));
    }
}

} // namespace
