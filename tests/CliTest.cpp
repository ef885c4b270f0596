// The command-line updater: its arguments and whole runs.

#include "CliOptions.h"
#include "PortDevices.h"
#include "ScriptedPeer.h"
#include "Updater.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::optional<CliOptions> Parse(std::vector<std::string> args)
{
    std::string error;
    auto options = ParseCliOptions(args, error);
    EXPECT_EQ(options.has_value(), error.empty()) << error;
    return options;
}

struct CliRun {
    int exit;
    std::string output;
};

CliRun RunWith(std::vector<std::string> args, const std::string& input = "")
{
    const auto options = Parse(std::move(args));
    EXPECT_TRUE(options);
    std::FILE* out = std::tmpfile();
    std::FILE* in = std::tmpfile();
    std::fputs(input.c_str(), in);
    std::rewind(in);
    const int exit = RunUpdater(*options, out, in);
    std::rewind(out);
    std::string output;
    for (int c; (c = std::fgetc(out)) != EOF;)
        output += static_cast<char>(c);
    std::fclose(out);
    std::fclose(in);
    ClearPortRoutes();
    return CliRun{exit, output};
}

TEST(CliOptions, AcceptsWhatTheUsageOffersAndRejectsTheRest)
{
    auto options = Parse({});
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->UsesSimulator());
    options = Parse({"--port", "3", "--yes"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->port, 3);
    EXPECT_FALSE(options->UsesSimulator());
    options = Parse({"--paced", "--fault", "nak:program:7:0xFF"});
    ASSERT_TRUE(options);
    ASSERT_EQ(options->faults.size(), 1u);
    EXPECT_EQ(options->faults[0].value, 0xFF);
    EXPECT_EQ(options->faults[0].occurrence, 7u);

    std::string error;
    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
             {"--port", "4"}, {"--port"}, {"--port", "1", "--device", "/dev/ttyUSB0"},
             {"--fault", "explode:program"}, {"--fault", "nak:program:x"}, {"--port", "2", "--paced"},
             {"--device", "/dev/ttyUSB0", "--fault", "silence:ping"}, {"COM1"}})
        EXPECT_FALSE(ParseCliOptions(bad, error)) << bad[0];
}

TEST(CliUpdater, UpdatesTheSimulatedKestrune)
{
    const CliRun run = RunWith({});
    EXPECT_EQ(run.exit, ExitSuccess);
    const size_t before = run.output.find("Version In Your Kestrune:  4.2.1");
    const size_t success = run.output.find("Success: Firmware update was successful.");
    const size_t after = run.output.find("Version In Your Kestrune:  5.0.3");
    EXPECT_NE(before, std::string::npos) << run.output;
    EXPECT_LT(before, success);
    EXPECT_LT(success, after);
    EXPECT_NE(run.output.find("[4/4] Application firmware program  247/247"), std::string::npos);
}

TEST(CliUpdater, ReportsTheFirstFailingStageOnly)
{
    const CliRun run = RunWith({"--fault", "nak:clear"});
    EXPECT_EQ(run.exit, ExitStageFailed);
    EXPECT_NE(run.output.find("Kestrune Zeruzuz Error: Could Not Load the Secondary Bootstrap Program."),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("FPGA"), std::string::npos);
    EXPECT_EQ(run.output.find("Success"), std::string::npos);
}

TEST(CliUpdater, MissingPortIsReportedAsUnavailable)
{
    const CliRun run = RunWith({"--device", "/nonexistent/ttyKZ"});
    EXPECT_EQ(run.exit, ExitPortUnavailable);
    EXPECT_NE(run.output.find("The selected COM port is unavailable."), std::string::npos);
}

TEST(CliUpdater, RealDeviceWaitsForTheGoAheadAndSendsNothingWithoutIt)
{
    ScriptedPeer peer;
    const CliRun run = RunWith({"--device", peer.Path()}, "");
    EXPECT_EQ(run.exit, ExitCancelled);
    EXPECT_NE(run.output.find("Version In Your Kestrune:  ???"), std::string::npos) << run.output;
    EXPECT_EQ(peer.Received(), (std::vector<uint8_t>{0x02, 0x01, 0x20})); // the version query only
}

} // namespace
