// A bench of simulated Kestrunes: every device updated on a thread of its
// own, one table (or one JSON stream) for all.

#include "Bench.h"
#include "CliSupport.h"
#include "PageState.h"
#include "ScriptedPeer.h"
#include "SimulatedKestrune.h"
#include "UnitRecord.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string_view>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

// A record whose name ends so is on a disk that takes its writes into a
// cache and then fails to write them out: fsync answers EIO.
constexpr std::string_view kUnsyncable = "unsyncable.jsonl";

} // namespace

// The system's fsync for this test program, as a disk would answer it;
// every other file is synced as usual.
extern "C" int fsync(int fd)
{
    char path[4096];
    const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
    if (n > 0 && std::string_view(path, static_cast<size_t>(n)).ends_with(kUnsyncable)) {
        errno = EIO;
        return -1;
    }
    return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace {

CliRun RunBenchWith(const std::vector<std::string>& args) { return RunCli(args, "", {}, RunBench); }

// The page a bench shows, as --gui gives it one.
PageState* s_page = nullptr;
int RunBenchOnPage(const CliOptions& options, const CliStreams& io) { return RunBench(options, io, s_page); }

// The page's state once its question is up, or after 30 s without one.
nlohmann::json WhenAsked(const PageState& page)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (uint64_t seen = 0;; seen = page.WaitForChange(seen, std::chrono::seconds(1))) {
        nlohmann::json state = page.Snapshot();
        if (!state["question"].is_null() || std::chrono::steady_clock::now() > deadline)
            return state;
    }
}

// A number from JSON or from CSV, as text.
std::string JsonText(const nlohmann::ordered_json& value)
{
    return value.is_string() ? value.get<std::string>() : value.dump();
}

// The note on an update whose read-back of the secondary loader ended at block 100.
const std::string kPartReadBack = "only 99 of 256 blocks of the secondary loader were read back (read block 0x6C60: "
                                  "no answer within 100 ms); the loader then answered 'Y'";

// The record's fields, in their order.
const std::vector<std::string> kRecordFields = {"time",  "host",    "program",        "firmware",      "port",
                                                "slot",  "adapter", "version_before", "version_after", "result",
                                                "stage", "message", "detail",         "seconds",       "unit"};

// One CSV row's fields, quotes undone; a field of nothing is null.
nlohmann::ordered_json CsvRow(const std::string& line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"')
            fields.back() += line[++i];
        else if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ',' && !quoted)
            fields.emplace_back();
        else
            fields.back() += line[i];
    }
    nlohmann::ordered_json row;
    for (size_t i = 0; i < fields.size() && i < kRecordFields.size(); ++i)
        row[kRecordFields[i]] = fields[i].empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(fields[i]);
    EXPECT_EQ(fields.size(), kRecordFields.size()) << line;
    return row;
}

// The record's rows; a CSV record's header must come once, first.
std::vector<nlohmann::ordered_json> ReadRecord(const std::string& path)
{
    std::ifstream file(path);
    std::vector<nlohmann::ordered_json> rows;
    const bool csv = path.size() > 4 && path.substr(path.size() - 4) == ".csv";
    std::string line;
    if (csv) {
        std::getline(file, line);
        std::string header;
        for (const std::string& name : kRecordFields)
            header += (header.empty() ? "" : ",") + name;
        EXPECT_EQ(line, header);
    }
    while (std::getline(file, line)) {
        rows.push_back(csv ? CsvRow(line) : nlohmann::ordered_json::parse(line));
        std::vector<std::string> names;
        for (const auto& field : rows.back().items())
            names.push_back(field.key());
        EXPECT_EQ(names, kRecordFields) << line;
    }
    return rows;
}

TEST(Bench, EightDevicesOneFaultyShowSevenUpdatesAndTheFailure)
{
    const CliRun run = RunBenchWith({"--bench-sim", "8", "--bench-fault", "3:nak:program:7"});
    EXPECT_EQ(run.exit, ExitStageFailed);
    std::istringstream table(run.out.substr(run.out.find("Device ")));
    int updated = 0;
    for (std::string row; std::getline(table, row);)
        updated += Has(row, " updated ") && Has(row, " 5.0.3 ") ? 1 : 0;
    EXPECT_EQ(updated, 7) << run.out;
    EXPECT_TRUE(Has(run.out, "7 of 8 updated."));
    const size_t failed = run.out.find("simulated 3              failed           3/4");
    ASSERT_NE(failed, std::string::npos) << run.out;
    EXPECT_TRUE(Has(run.out.substr(failed),
                    "Could Not Load the FPGA Firmware. page 0xBB00 of bank 2: device answered 0x01 (a byte failed"));
}

// With a page, each unit has a tile fed by its own report: the failed one
// with its stage's message and the detail in full, the others with the
// version after; above them the counts and the record's lines. The
// terminal's table stays as it is.
TEST(Bench, APageShowsATilePerUnit)
{
    PageState page(PageMode::Station, 4);
    s_page = &page;
    const CliRun run = RunCli({"--bench-sim", "4", "--bench-fault", "2:nak:program:7", "-y"}, "", {}, RunBenchOnPage);
    s_page = nullptr;
    EXPECT_EQ(run.exit, ExitStageFailed);
    EXPECT_TRUE(Has(run.out, "3 of 4 updated.")) << run.out;
    const nlohmann::json state = page.Snapshot();
    ASSERT_EQ(state["units"].size(), 4u) << state.dump(1);
    for (const nlohmann::json& unit : state["units"]) {
        EXPECT_EQ(unit["port"], "simulated " + unit["slot"].dump());
        EXPECT_EQ(unit["adapter"], "simulated Kestrune (no real device)");
        EXPECT_EQ(unit["simulated"], true);
        EXPECT_EQ(unit["versionBefore"], "4.2.1");
        if (unit["slot"] == 2) {
            EXPECT_EQ(unit["state"], "failed") << unit.dump(1);
            EXPECT_EQ(unit["message"], "Could Not Load the FPGA Firmware.");
            EXPECT_EQ(unit["detail"], "page 0xBB00 of bank 2: device answered 0x01 (a byte failed to program)");
            EXPECT_EQ(unit["versionAfter"], nullptr);
            continue;
        }
        EXPECT_EQ(unit["state"], "updated") << unit.dump(1);
        EXPECT_EQ(unit["percent"], 100);
        EXPECT_EQ(unit["versionAfter"], "5.0.3");
    }
    EXPECT_EQ(state["counts"], nlohmann::json({{"updated", 3}, {"failed", 1}, {"skipped", 0}, {"interrupted", 0}}));
    ASSERT_EQ(state["record"].size(), 4u);
    size_t failedLines = 0;
    for (const nlohmann::json& line : state["record"])
        failedLines += Has(line, "slot 2 simulated 2: failed in stage 3, Could Not Load the FPGA Firmware. page 0xBB00 "
                                 "of bank 2: device answered 0x01 (a byte failed to program); 4.2.1 -> -")
                           ? 1
                           : 0;
    EXPECT_EQ(failedLines, 1u) << state["record"].dump(1);
    EXPECT_EQ(state["question"], nullptr);
    EXPECT_EQ(state["ended"], true);
    EXPECT_EQ(state["closed"], false) << "the run is over, not the updater that serves the page";
}

struct PageQuestionCase {
    const char* what;
    std::vector<std::string> args; // "PEER" stands for a silent device's port
    const char* question;          // a part of it
    std::vector<std::string> answers;
    const char* answer;
    int exit;
    const char* said; // on stdout or stderr
};

// The bench's go-ahead and a station's round are asked on the page, not on
// the terminal, with the answers as buttons; "no" and "q" send nothing.
TEST(Bench, APageAsksThePerson)
{
    const PageQuestionCase cases[] = {
        {"the bench's go-ahead",
         {"--bench", "PEER"},
         "Put each of the 1 Kestrunes into bootstrap mode: power off for 5 seconds, hold \"SET\" while powering on, "
         "release it after 5 seconds. Then press yes",
         {"yes", "no"},
         "no",
         ExitCancelled,
         "Bench cancelled; nothing was sent."},
        {"a station's round",
         {"--bench", "PEER", "--station"},
         "Put the next Kestrunes in place and into bootstrap mode",
         {"continue", "q"},
         "q",
         ExitSuccess,
         "Station: 0 units in 0 rounds"},
    };
    for (const PageQuestionCase& c : cases) {
        ScriptedPeer silent;
        std::vector<std::string> args = c.args;
        std::replace(args.begin(), args.end(), std::string("PEER"), silent.Path());
        PageState page(PageMode::Station, 1);
        s_page = &page;
        std::thread person([&page, &c] {
            const nlohmann::json asked = WhenAsked(page);
            if (!asked["question"].is_object()) {
                ADD_FAILURE() << c.what << ": not asked on the page";
                return;
            }
            EXPECT_TRUE(Has(asked["question"]["text"], c.question)) << c.what << ": " << asked;
            EXPECT_EQ(asked["question"]["answers"], nlohmann::json(c.answers)) << c.what;
            EXPECT_FALSE(page.Answer("maybe"));
            EXPECT_TRUE(page.Answer(c.answer));
        });
        const CliRun run = RunCli(args, "yes\n", {}, RunBenchOnPage);
        person.join();
        s_page = nullptr;
        EXPECT_EQ(run.exit, c.exit) << c.what;
        EXPECT_TRUE(Has(run.out + run.err, c.said)) << c.what << ": " << run.out << run.err;
        EXPECT_FALSE(Has(run.out + run.err, "press Enter")) << c.what << ": asked on the terminal too";
        EXPECT_TRUE(silent.Received().empty()) << c.what;
        EXPECT_EQ(page.Snapshot()["ended"], true) << c.what;
    }
}

TEST(Bench, JsonIsOneStreamWithTheDeviceOnEachEvent)
{
    const CliRun run = RunBenchWith(
        {"--bench-sim", "2", "--bench-fault", "2:silence:sign-on", "--bench-fault", "1:silence:read:100", "--json"});
    EXPECT_EQ(run.exit, ExitStageFailed);
    std::istringstream lines(run.out);
    std::map<std::string, nlohmann::json> results;
    nlohmann::json last;
    for (std::string line; std::getline(lines, line);) {
        last = nlohmann::json::parse(line);
        EXPECT_TRUE(last.contains("device") || last["event"] == "bench_result") << line;
        if (last["event"] == "result")
            results[last["device"]] = last;
    }
    EXPECT_EQ(results["simulated 1"]["ok"], true);
    EXPECT_EQ(results["simulated 1"]["note"], kPartReadBack);
    EXPECT_EQ(results["simulated 2"]["detail"], "no sign-on 'X' within 3 s");
    EXPECT_EQ(last, nlohmann::json({{"event", "bench_result"}, {"ok", false}, {"updated", 1}, {"devices", 2}}));
}

// An event's name and its keys in their order ("result:device,event,ok,").
// Progress events come at most ten a second, so whether one falls within
// a stage is left to the clock: their keys are checked, not their places.
std::vector<std::string> EventShapes(const std::string& out, const std::string& device)
{
    std::vector<std::string> shapes;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::ordered_json event = nlohmann::ordered_json::parse(line);
        if (event.value("device", "") != device)
            continue;
        std::string shape = event["event"].get<std::string>() + ":";
        for (const auto& field : event.items())
            shape += field.key() + (field.key() == "stage" ? "=" + event["stage"].dump() : "") + ",";
        if (event["event"] == "progress")
            EXPECT_EQ(shape.substr(shape.find(",stage=")),
                      ",stage=" + event["stage"].dump() + ",step,done,total,percent,");
        else
            shapes.push_back(shape);
    }
    return shapes;
}

struct JsonStreamCase {
    const char* what;
    std::vector<std::string> args;
    const char* device;
    std::vector<std::string> shapes;
};

std::vector<std::string> StageShapes(int stage)
{
    const std::string n = std::to_string(stage);
    return {"stage_begin:device,event,stage=" + n + ",name,", "stage_end:device,event,stage=" + n + ",ok,"};
}

std::vector<std::string> Updated()
{
    std::vector<std::string> shapes = {"start:device,event,port,firmware,device_version,"};
    for (int stage = 1; stage <= 4; ++stage)
        for (const std::string& shape : StageShapes(stage))
            shapes.push_back(shape);
    shapes.insert(shapes.end(), {"version:device,event,device_version,", "result:device,event,ok,seconds,",
                                 "finished:device,event,exit,seconds,error,"});
    return shapes;
}

// Updated, but the power cycle shows the old firmware: one verdict, after
// the check, and it fails the unit.
std::vector<std::string> FailedAfterThePowerCycle()
{
    std::vector<std::string> shapes = Updated();
    shapes.insert(shapes.end() - 2, "restart:device,event,ok,detail,");
    shapes[shapes.size() - 2] = "result:device,event,ok,seconds,restart,detail,";
    return shapes;
}

std::vector<std::string> FailedInStage1()
{
    std::vector<std::string> shapes = {"start:device,event,port,firmware,device_version,"};
    for (const std::string& shape : StageShapes(1))
        shapes.push_back(shape);
    shapes.insert(shapes.end(),
                  {"result:device,event,ok,stage=1,message,detail,", "finished:device,event,exit,seconds,error,"});
    return shapes;
}

// The bench's --json stream is a public format: each unit's events, and
// their keys in their order, stay as they were.
TEST(Bench, JsonStreamKeepsItsEventsAndKeys)
{
    const std::vector<std::string> twoSims = {"--bench-sim", "2", "--bench-fault", "2:silence:sign-on", "--json"};
    const JsonStreamCase cases[] = {
        {"updated", twoSims, "simulated 1", Updated()},
        {"failed in stage 1", twoSims, "simulated 2", FailedInStage1()},
        {"failed after the power cycle",
         {"--bench-sim", "1", "--bench-fault", "1:unwritten:erase:0", "--bench-fault", "1:unwritten:program:0",
          "--power-cycle-command", "true", "--json"},
         "simulated 1",
         FailedAfterThePowerCycle()},
        {"port unavailable",
         {"--bench", "/nonexistent/ttyKZ", "-y", "--json"},
         "/nonexistent/ttyKZ",
         {"finished:device,event,exit,seconds,error,"}},
    };
    for (const JsonStreamCase& c : cases) {
        const CliRun run = RunBenchWith(c.args);
        EXPECT_EQ(EventShapes(run.out, c.device), c.shapes) << c.what << "\n" << run.out;
        const std::string last = run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1);
        EXPECT_TRUE(Has(last, "{\"event\":\"bench_result\",\"ok\":false,\"updated\":")) << c.what;
    }
}

// A device that never answers fails stage 1; one whose port does not open
// is no more updated than that one, in the table's last line and in JSON.
TEST(Bench, APortThatDoesNotOpenCountsAsNotUpdated)
{
    for (const bool json : {false, true}) {
        ScriptedPeer silent;
        std::vector<std::string> args = {"--bench", silent.Path(), "/nonexistent/ttyKZ", "-y"};
        if (json)
            args.emplace_back("--json");
        const CliRun run = RunBenchWith(args);
        EXPECT_EQ(run.exit, ExitStageFailed);
        if (!json) {
            EXPECT_TRUE(Has(run.out, "/nonexistent/ttyKZ       port unavailable")) << run.out;
            EXPECT_TRUE(Has(run.out, "0 of 2 updated.")) << run.out;
            continue;
        }
        const std::string last = run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1);
        EXPECT_EQ(nlohmann::json::parse(last),
                  nlohmann::json({{"event", "bench_result"}, {"ok", false}, {"updated", 0}, {"devices", 2}}))
            << run.out;
    }
}

// The screen a bench that fails leaves on a terminal of this width; each
// line it was sent fits.
std::vector<std::string> FailedBenchScreen(const std::vector<std::string>& args, unsigned short columns)
{
    ScriptedPeer terminal;
    std::FILE* out = TerminalOfWidth(terminal.Path(), columns);
    if (!out)
        return {};
    const CliRun run = RunCli(args, "", {out, nullptr, out}, RunBench);
    std::fclose(out);
    EXPECT_EQ(run.exit, ExitStageFailed);
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the terminal's far end catches up
    const std::vector<uint8_t> bytes = terminal.Received();
    const std::string shown(bytes.begin(), bytes.end());
    EXPECT_TRUE(FitsColumns(shown, columns));
    return ScreenLines(shown, columns);
}

// On a terminal of 60, 80 or 120 columns, with by-id names of 60
// characters, each status line fits, the block goes back up by as many
// lines as it has, and a hook's lines, written while the block is live,
// stay above it: at the end the screen has each hook line, the rows as they
// ended once each, and the table with a failure's words whole.
TEST(Bench, OnATerminalTheRowsFitAndHookLinesStayAbove)
{
    ScriptedPeer silent[2];
    std::vector<std::string> args = {"--bench"};
    for (int i = 0; i < 2; ++i) {
        std::string name = "usb-FTDI_FT232R_USB_UART_A10K3XY" + std::to_string(i) + "-if00-port0";
        name = ::testing::TempDir() + name.insert(4, 60 - name.size(), 'x');
        std::remove(name.c_str());
        EXPECT_EQ(symlink(silent[i].Path().c_str(), name.c_str()), 0);
        args.push_back(name);
    }
    args.insert(args.end(), {"-y", "--bootstrap-command", "echo relay on; sleep 0.5; echo relay off >&2"});
    for (const unsigned short columns : {60, 80, 120}) {
        const std::vector<std::string> screen = FailedBenchScreen(args, columns);
        std::string all;
        for (const std::string& line : screen)
            all += line + "\n";
        for (const char* line : {"[slot 1 bootstrap] relay on", "[slot 1 bootstrap] relay off",
                                 "[slot 2 bootstrap] relay on", "[slot 2 bootstrap] relay off"})
            EXPECT_EQ(std::count(screen.begin(), screen.end(), line), 1) << line << " in\n" << all;
        size_t rows = 0;
        for (const std::string& line : screen) {
            rows += Has(line, "failed in stage 1 download") ? 1 : 0;
            EXPECT_FALSE(Has(line, "waiting") || Has(line, "hook") || Has(line, "[1/4]")) << line << " in\n" << all;
        }
        EXPECT_EQ(rows, 2U) << all;
        // Broken between words only: the screen's words, one space between
        // each, hold each unit's failure whole.
        std::string words;
        for (const std::string& line : screen) {
            std::istringstream in(line);
            for (std::string word; in >> word;)
                words += word + " ";
        }
        const std::string failure =
            "- Could Not Load the Primary Bootstrap Program. download echo: no answer within 100 ms ";
        size_t failures = 0;
        for (size_t at = 0; (at = words.find(failure, at)) != std::string::npos; ++at)
            ++failures;
        EXPECT_EQ(failures, 2U) << all;
    }
}

// A unit's row names the step that failed: the first page's, not the erase
// that ended before it.
TEST(Bench, ARowNamesTheStepThatFailed)
{
    const std::vector<std::string> screen =
        FailedBenchScreen({"--bench-sim", "1", "--bench-fault", "1:nak:program:0", "-y"}, 80);
    std::string all;
    for (const std::string& line : screen)
        all += line + "\n";
    EXPECT_TRUE(Has(all, "simulated 1  failed in stage 3 program\n")) << all;
    EXPECT_TRUE(Has(all, "page 0xB800 of bank 2: device answered 0x01")) << all;
}

// --skip-current: the question lists each unit by slot and port with the
// version its query read; a unit that answers no more once in bootstrap
// mode keeps that version in the record.
TEST(Bench, SkipCurrentListsTheUnitsAndTheRecordKeepsWhatTheyRead)
{
    ScriptedPeer firmware, current; // answer the first version query only
    firmware.AnswerAfter(3, {0x02, 0x08, 0x20, '4', '.', '2', '.', '1', 0x01, 0xF7});
    current.AnswerAfter(3, {0x02, 0x08, 0x20, '5', '.', '0', '.', '3', 0x01, 0xF7});
    const std::string record = ::testing::TempDir() + "kz-record-peeked.jsonl";
    std::remove(record.c_str());
    const CliRun run = RunCli({"--bench", firmware.Path(), current.Path(), "--skip-current", "--record", record},
                              "yes\n", {}, RunBench);
    EXPECT_TRUE(Has(run.out, "1 of the 2 Kestrunes already run 5.0.3 and will be skipped; leave them as they are.\n"
                             "  slot 1  " +
                                 firmware.Path() +
                                 "  4.2.1\n"
                                 "  slot 2  " +
                                 current.Path() + "  5.0.3  skipped: leave it as it is\n"))
        << run.out;
    const std::vector<nlohmann::ordered_json> rows = ReadRecord(record);
    ASSERT_EQ(rows.size(), 2U);
    for (const auto& row : rows) {
        if (row["slot"] == 1) {
            EXPECT_EQ(row["version_before"], "4.2.1") << row.dump();
        }
    }
}

TEST(Bench, ASignalStopsEveryDeviceAndTheTableSaysSo)
{
    std::thread sender([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
        kill(getpid(), SIGTERM); // to the bench only: it passes the signal on
    });
    const auto start = std::chrono::steady_clock::now();
    const std::string record = ::testing::TempDir() + "kz-record-interrupted.jsonl";
    std::remove(record.c_str());
    const CliRun run = RunBenchWith({"--bench-sim", "2", "--paced", "--station", "--record", record});
    sender.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4500));
    EXPECT_EQ(run.exit, 143);
    EXPECT_TRUE(Has(run.out, "simulated 1              interrupted")) << run.out;
    EXPECT_TRUE(Has(run.out, "simulated 2              interrupted")) << run.out;
    EXPECT_TRUE(Has(run.out, "0 of 2 updated."));
    EXPECT_TRUE(Has(run.out, "Station: 2 units in 1 round: 0 updated, 0 failed, 0 skipped, 2 interrupted"))
        << run.out; // no second round
    const std::vector<nlohmann::ordered_json> rows = ReadRecord(record);
    ASSERT_EQ(rows.size(), 2u);
    for (const nlohmann::ordered_json& row : rows)
        EXPECT_TRUE(row["result"] == "interrupted" && row["stage"] == 2) << row;
}

// Simulated Kestrunes on terminals of their own, behind relays: a hook asks
// for slot N's power cycle (with "SET" held for bootstrap) by a file named
// bootstrap-N or cycle-N, and waits until the relay has taken it away.
class RelayFixture {
public:
    explicit RelayFixture(size_t units) : m_dir(::testing::TempDir() + "kz-relays/")
    {
        mkdir(m_dir.c_str(), 0755);
        for (size_t i = 0; i < units; ++i) {
            m_units.push_back(std::make_unique<SimulatedKestrune>());
            EXPECT_TRUE(m_units.back()->Start());
        }
        m_relay = std::thread([this] { Switch(); });
    }
    ~RelayFixture()
    {
        m_bStop = true;
        m_relay.join();
    }
    std::vector<std::string> Ports() const
    {
        std::vector<std::string> ports;
        for (const auto& unit : m_units)
            ports.push_back(unit->DevicePath());
        return ports;
    }
    // As the person does by hand: every unit off and on again.
    void PowerCycleAll(bool holdSet)
    {
        for (const auto& unit : m_units)
            unit->PowerCycle(holdSet);
    }
    // The hook that asks for what.
    std::string Hook(const std::string& what) const
    {
        const std::string file = m_dir + what + "-$KESTRUNE_SLOT";
        return "touch " + file + "; while [ -e " + file + " ]; do sleep 0.05; done";
    }

private:
    void Switch()
    {
        while (!m_bStop) {
            for (size_t i = 0; i < m_units.size(); ++i)
                for (const bool bootstrap : {true, false}) {
                    const std::string file = m_dir + (bootstrap ? "bootstrap-" : "cycle-") + std::to_string(i + 1);
                    if (access(file.c_str(), F_OK) != 0)
                        continue;
                    m_units[i]->PowerCycle(bootstrap);
                    std::remove(file.c_str());
                }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    std::string m_dir;
    std::vector<std::unique_ptr<SimulatedKestrune>> m_units;
    std::atomic<bool> m_bStop{false};
    std::thread m_relay;
};

// The README's station: relays on eight units, -y, --skip-current. Its
// hooks cannot put new units in the fixture, so after the first round it
// waits at the prompt for them, and with no input it stops there, rather
// than asking the units it has just updated again and again.
TEST(Station, WaitsAtThePromptForTheNextUnits)
{
    RelayFixture relays(8);
    std::vector<std::string> args = {"--bench"};
    for (const std::string& port : relays.Ports())
        args.push_back(port);
    const std::string record = ::testing::TempDir() + "kz-record-relays.csv";
    std::remove(record.c_str());
    args.insert(args.end(),
                {"-y", "--record", record, "--bootstrap-command", relays.Hook("bootstrap"), "--power-cycle-command",
                 relays.Hook("cycle"), "--skip-current", "--station", "--units", "24"});
    const CliRun run = RunBenchWith(args);
    EXPECT_EQ(run.exit, ExitSuccess) << run.err;
    EXPECT_TRUE(Has(run.out, "Put the next Kestrunes in place and press Enter, or type q to stop: ")) << run.out;
    EXPECT_TRUE(Has(run.out, "Station: 8 units in 1 round: 8 updated, 0 failed, 0 skipped")) << run.out;
    const std::vector<nlohmann::ordered_json> rows = ReadRecord(record);
    EXPECT_EQ(rows.size(), 8u);
    for (const nlohmann::ordered_json& row : rows)
        EXPECT_EQ(row["version_after"], "5.0.3") << row;
}

// An attended bench (no power-cycle hook, no -y): after the round the person
// is asked to power-cycle the updated units, and each is then asked for its
// version, which the record keeps.
TEST(Station, AnAttendedBenchAsksForThePowerCycleAndChecksTheVersion)
{
    RelayFixture relays(2);
    relays.PowerCycleAll(true); // into bootstrap mode by hand
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::FILE* in = fdopen(fds[0], "r");
    const std::string shown = ::testing::TempDir() + "kz-attended.txt";
    std::FILE* out = std::fopen(shown.c_str(), "w+");
    std::thread person([&] {
        EXPECT_EQ(write(fds[1], "yes\n", 4), 4);
        for (int i = 0; i < 1200; ++i) { // the question, within two minutes
            std::ostringstream text;
            text << std::ifstream(shown).rdbuf();
            if (Has(text.str(), "Power-cycle the 2 updated Kestrunes, let them restart, then press Enter: "))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        relays.PowerCycleAll(false);
        EXPECT_EQ(write(fds[1], "\n", 1), 1);
    });
    const std::string record = ::testing::TempDir() + "kz-record-attended.jsonl";
    std::remove(record.c_str());
    std::vector<std::string> args = {"--bench"};
    for (const std::string& port : relays.Ports())
        args.push_back(port);
    args.insert(args.end(), {"--record", record});
    const CliRun run = RunCli(args, "", {out, in}, RunBench);
    person.join();
    std::fclose(out);
    std::fclose(in);
    close(fds[1]);
    EXPECT_EQ(run.exit, ExitSuccess) << run.err;
    const std::vector<nlohmann::ordered_json> rows = ReadRecord(record);
    ASSERT_EQ(rows.size(), 2u);
    for (const nlohmann::ordered_json& row : rows)
        EXPECT_TRUE(row["result"] == "updated" && row["version_after"] == "5.0.3") << row;
}

struct RecordCase {
    const char* what;
    std::vector<std::string> args;
    const char* file; // in the test's scratch folder, or a path
    int runs;
    int exit;
    std::map<std::string, int> results; // "updated", "failed 3", "failed" (no stage), each row's
    std::vector<std::string> out;       // in the last run's output
    std::string detail = "";            // a failed hook's, where one failed
    std::string before = "";            // what the file holds before the first run
    size_t room = 0;                    // where set, the disk is full but for so many bytes after before
    size_t linesOnStderr = 0;           // the record's lines that could not be written, each whole
    std::vector<std::string> err = {};  // in the last run's errors
};

// An updated unit's line, as the record keeps it.
std::string UpdatedLine()
{
    UnitRecord record = NewUnitRecord("simulated 1", 1);
    record.versionBefore = "4.2.1";
    record.versionAfter = "5.0.3";
    record.result = UnitResult::Updated;
    return RecordJsonLine(record);
}

// A file system of two pages, where a line breaks off in its write: a small
// tmpfs where the tests may mount one (as root). Elsewhere none, and the
// record goes to /dev/full.
class SmallDisk {
public:
    explicit SmallDisk(std::string dir) : m_dir(std::move(dir))
    {
        mkdir(m_dir.c_str(), 0755);
        m_bMounted = mount("tmpfs", m_dir.c_str(), "tmpfs", 0, "size=8k") == 0;
    }
    ~SmallDisk()
    {
        if (m_bMounted)
            umount2(m_dir.c_str(), MNT_DETACH);
    }
    // name on it, holding before and room bytes more, one page in all; the
    // other page taken by a filler.
    std::string Fill(const std::string& name, std::string before, size_t room) const
    {
        if (!m_bMounted)
            return "/dev/full";
        before.insert(before.size() - 1, kPage - room - before.size(), ' '); // JSON allows blanks
        std::ofstream(m_dir + "/" + name) << before;
        std::ofstream(m_dir + "/filler") << std::string(kPage, 'x');
        return m_dir + "/" + name;
    }

private:
    static constexpr size_t kPage = 4096;
    std::string m_dir;
    bool m_bMounted = false;
};

// The lines of text that are whole lines of a JSON record.
size_t RecordLines(const std::string& text)
{
    std::istringstream lines(text);
    size_t count = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] != '{')
            continue;
        const auto row = nlohmann::ordered_json::parse(line, nullptr, false);
        EXPECT_FALSE(row.is_discarded()) << line;
        count += !row.is_discarded() && row.size() == kRecordFields.size() ? 1 : 0;
    }
    return count;
}

// Every unit tried is a line of the record, appended run after run, with
// the version before and after, the failed stage and its detail. A slot's
// hook sees its port and slot; a CSV field with a comma or a quote stays
// one field, and a hook's escape sequences and bytes that are no text are
// escaped. A write that fails, or does not reach the disk, is told, and fails the bench: the file keeps
// no part of the line, which goes whole to stderr, and no further unit
// starts. A last line without its end keeps to itself.
TEST(Bench, TheRecordHasALinePerUnitAndAttempt)
{
    const std::vector<std::string> faulty = {"--bench-sim", "3", "--bench-fault", "2:nak:program:7", "-y"};
    const std::string stuck = "[ $KESTRUNE_SLOT != 2 ] || { echo \"relay 2, stuck\" >&2; exit 1; }";
    const std::string escapes = "printf '\\033[2J\\377 relay\\n' >&2; exit 1";
    const std::string unquoted = "[ $KESTRUNE_SLOT != 2 ] || { echo relay 2, stuck >&2; exit 1; }"; // a comma only
    // Slot 3 has no next unit; slot 1 takes its second once slot 2 has
    // asked for its third, which lock-step rounds would never reach; slot 2
    // has three.
    const std::string calls = ::testing::TempDir() + "kz-next-";
    const std::string nextUnit = "f=" + calls +
                                 "$KESTRUNE_SLOT; echo >>$f; n=$(wc -l <$f); case $KESTRUNE_SLOT in "
                                 "3) echo no unit >&2; exit 1;; "
                                 "1) [ $n = 1 ] || exit 1; until [ $(cat " +
                                 calls + "2 | wc -l) -ge 2 ]; do sleep 0.1; done;; 2) [ $n -le 2 ];; esac";
    const std::string ids = "printf 'SN-%s\\033\\n' $KESTRUNE_SLOT";
    std::string oldHeader = "time";
    for (size_t i = 1; i + 1 < kRecordFields.size(); ++i)
        oldHeader += "," + kRecordFields[i];
    for (const char* slot : {"1", "2", "3"})
        std::remove((calls + slot).c_str());
    const RecordCase cases[] = {
        {"JSON Lines", faulty, "r.jsonl", 2, ExitStageFailed, {{"updated", 4}, {"failed 3", 2}}, {"2 of 3 updated."}},
        {"CSV", faulty, "r.csv", 2, ExitStageFailed, {{"updated", 4}, {"failed 3", 2}}, {"2 of 3 updated."}},
        {"a read-back cut short",
         {"--bench-sim", "2", "--bench-fault", "2:silence:read:100", "-y"},
         "part.jsonl",
         1,
         ExitSuccess,
         {{"updated", 1}, {"updated, read back in part", 1}},
         {"2 of 2 updated.", "simulated 2              updated          -", kPartReadBack}},
        {"station rounds",
         {"--bench-sim", "2", "--station", "--units", "3", "--bootstrap-command", stuck},
         "rounds.csv",
         1,
         ExitStageFailed,
         {{"updated", 2}, {"failed", 1}},
         {"Station: 3 units in 2 rounds: 2 updated, 1 failed, 0 skipped"},
         "bootstrap hook '" + stuck + "' exited with status 1: relay 2, stuck"},
        {"station rounds, a detail with a comma and no quote",
         {"--bench-sim", "2", "--station", "--units", "3", "--bootstrap-command", unquoted},
         "unquoted.csv",
         1,
         ExitStageFailed,
         {{"updated", 2}, {"failed", 1}},
         {"Station: 3 units in 2 rounds: 2 updated, 1 failed, 0 skipped"},
         "bootstrap hook '" + unquoted + "' exited with status 1: relay 2, stuck"},
        {"a full disk",
         {"--bench-sim", "1"},
         "/dev/full",
         1,
         ExitStageFailed,
         {},
         {"1 of 1 updated.", "The record is incomplete: writing the record /dev/full failed: No space left on device."},
         "",
         "",
         0,
         1},
        {"a disk that fills within a line",
         {"--bench-sim", "2", "--station", "--units", "4", "--bootstrap-command", "exit 1"},
         "full.jsonl",
         1,
         ExitStageFailed,
         {{"updated", 1}},
         {"failed: No space left on device.", "Station: 2 units in 1 round"},
         "",
         UpdatedLine() + "\n",
         100,
         2},
        {"a record whose last line lacks its end",
         {"--bench-sim", "1", "--bootstrap-command", "exit 1"},
         "cut.jsonl",
         1,
         ExitStageFailed,
         {{"updated", 1}, {"failed", 1}},
         {},
         "bootstrap hook 'exit 1' exited with status 1",
         UpdatedLine()},
        {"a hook that prints escape sequences",
         {"--bench-sim", "1", "--bootstrap-command", escapes},
         "escapes.csv",
         1,
         ExitStageFailed,
         {{"failed", 1}},
         {"\\x1B[2J\\xFF relay"},
         "bootstrap hook '" + escapes + "' exited with status 1: \\x1B[2J\\xFF relay"},
        {"a disk that does not keep the line",
         {"--bench-sim", "1"},
         kUnsyncable.data(),
         1,
         ExitStageFailed,
         {}, // the line that did not reach the disk is taken back, and goes whole to stderr
         {"1 of 1 updated.", "The record is incomplete: writing the record ", "failed: Input/output error."},
         "",
         "",
         0,
         1},
        {"slots at their own pace",
         {"--bench-sim", "3", "--station", "--next-unit-command", nextUnit, "--hook-timeout", "600"},
         "pace.csv",
         1,
         ExitSuccess,
         {{"updated", 6}},
         {"6 of 6 updated.", "Station: 6 units on 3 slots: 6 updated, 0 failed, 0 skipped"},
         "",
         "",
         0,
         0,
         {"[slot 3 next-unit] no unit", "slot 3 ends: next-unit hook", "exited with status 1: no unit."}},
        {"unit ids",
         {"--bench-sim", "2", "--unit-id-command", ids, "--power-cycle-command", "echo unit $KESTRUNE_UNIT >&2"},
         "ids.csv",
         1,
         ExitSuccess,
         {{"updated", 2}},
         {"simulated 1 SN-1\\x1B", "simulated 2 SN-2\\x1B"},
         "",
         "",
         0,
         0,
         {"[slot 1 power-cycle] unit SN-1\\x1B", "[slot 2 unit-id] SN-2\\x1B"}},
        {"a unit id given again: refused, and no line names that unit",
         {"--bench-sim", "1", "--station", "--units", "2", "--unit-id-command", ids},
         "again.jsonl",
         1,
         ExitStageFailed,
         {{"updated", 1}, {"failed", 1}},
         {"Station: 2 units in 2 rounds: 1 updated, 1 failed"},
         "the id SN-1\\x1B is another unit's (finished in slot 1 in this run)"},
        {"a CSV record whose header lacks the unit",
         {"--bench-sim", "2", "--unit-id-command", ids},
         "old.csv",
         1,
         ExitUsage,
         {},
         {},
         "",
         oldHeader + "\n",
         0,
         0,
         {"its header is\n  " + oldHeader + "\nbut this version writes\n  " + oldHeader + ",unit\n"}},
    };
    for (const RecordCase& c : cases) {
        const SmallDisk disk(::testing::TempDir() + "kz-small-disk");
        std::string path = c.file[0] == '/' ? c.file : ::testing::TempDir() + "kz-record-" + c.file;
        if (c.room)
            path = disk.Fill(c.file, c.before, c.room);
        const bool scratch = path.compare(0, 5, "/dev/") != 0; // a device such as /dev/full is left alone
        if (scratch && !c.room)
            std::remove(path.c_str());
        if (scratch && !c.room && !c.before.empty())
            std::ofstream(path) << c.before;
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--record", path});
        CliRun run;
        for (int i = 0; i < c.runs; ++i)
            run = RunBenchWith(args);
        // The record's header is read at open, and /dev/full reads without end.
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        EXPECT_LT(usage.ru_maxrss, 256 * 1024) << c.what << ": kilobytes at most in use";
        EXPECT_EQ(run.exit, c.exit) << c.what << ": " << run.err;
        for (const std::string& part : c.out)
            EXPECT_TRUE(Has(run.out, part)) << c.what << ": " << part << " in\n" << run.out;
        for (const std::string& part : c.err)
            EXPECT_TRUE(Has(run.err, part)) << c.what << ": " << part << " in\n" << run.err;
        EXPECT_EQ(RecordLines(run.err), c.linesOnStderr) << c.what << ": " << run.err;
        EXPECT_TRUE(PlainText(run.out) && PlainText(run.err)) << c.what;
        if (!scratch || c.exit == ExitUsage)
            continue;
        std::ostringstream bytes;
        bytes << std::ifstream(path).rdbuf();
        EXPECT_TRUE(PlainText(bytes.str())) << c.what;
        std::map<std::string, int> results;
        for (const nlohmann::ordered_json& row : ReadRecord(path)) {
            const std::string result = row["result"];
            const std::string stage = row["stage"].is_null() ? "" : " " + JsonText(row["stage"]);
            const bool partReadBack = result == "updated" && row["detail"] == kPartReadBack;
            ++results[result + stage + (partReadBack ? ", read back in part" : "")];
            // An id that is another unit's: nothing was sent, and the line names no unit.
            const bool idRefused = result == "failed" && row["detail"] == c.detail && Has(c.detail, "another unit's");
            EXPECT_EQ(row["version_before"], idRefused ? nlohmann::ordered_json() : "4.2.1") << c.what;
            EXPECT_TRUE(!idRefused || row["unit"].is_null()) << row;
            EXPECT_EQ(row["version_after"], result == "updated" ? nlohmann::ordered_json("5.0.3") : nullptr);
            EXPECT_EQ(row["firmware"], "5.0.3");
            if (!row["unit"].is_null()) {
                EXPECT_EQ(row["unit"], "SN-" + JsonText(row["slot"]) + "\\x1B") << row;
            }
            EXPECT_TRUE(Has(row["port"], "simulated ")) << row;
            if (result == "failed" && stage.empty()) {
                EXPECT_EQ(row["detail"], c.detail) << c.what;
            }
        }
        EXPECT_EQ(results, c.results) << c.what;
    }
}

} // namespace
