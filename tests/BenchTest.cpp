// A bench of simulated Kestrunes: every device updated on a thread of its
// own, one table (or one JSON stream) for all.

#include "Bench.h"
#include "CliSupport.h"
#include "ScriptedPeer.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <map>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

CliRun RunBenchWith(const std::vector<std::string>& args) { return RunCli(args, "", {}, RunBench); }

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

TEST(Bench, JsonIsOneStreamWithTheDeviceOnEachEvent)
{
    const CliRun run = RunBenchWith({"--bench-sim", "2", "--bench-fault", "2:silence:sign-on", "--json"});
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
    EXPECT_EQ(results["simulated 2"]["detail"], "no sign-on 'X' within 3 s");
    EXPECT_EQ(last, nlohmann::json({{"event", "bench_result"}, {"ok", false}, {"updated", 1}, {"devices", 2}}));
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

TEST(Bench, ASignalStopsEveryDeviceAndTheTableSaysSo)
{
    std::thread sender([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
        kill(getpid(), SIGTERM); // to the bench only: it passes the signal on
    });
    const auto start = std::chrono::steady_clock::now();
    const CliRun run = RunBenchWith({"--bench-sim", "2", "--paced"});
    sender.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4500));
    EXPECT_EQ(run.exit, 143);
    EXPECT_TRUE(Has(run.out, "simulated 1              interrupted")) << run.out;
    EXPECT_TRUE(Has(run.out, "simulated 2              interrupted")) << run.out;
    EXPECT_TRUE(Has(run.out, "0 of 2 updated."));
}

} // namespace
