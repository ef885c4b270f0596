// The network port (rfc2217://) against scripted port servers on loopback:
// what a server that answers otherwise than asked, late, slowly or not at
// all does to the line settings, reads and writes. Each server first agrees
// on the options and confirms the purges, as ser2net does.
// Bytes: 255 IAC, 253 DO, 251 WILL, 250 SB, 240 SE; COM-PORT-OPTION (44)
// answers carry the command + 100: 101 baud rate, 102 data size, 103 parity
// (1 none, 2 odd, 3 even), 104 stop size, 112 purge.

#include "ScriptedPeer.h"
#include "TelnetFeed.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What the host sends, in bytes: the opening, a purge, one settings request.
constexpr size_t kOpening = 15, kPurge = 7, kSettings = 31;
// Once the port is open: the opening, its first purge and the channel's.
constexpr size_t kOpened = kOpening + 2 * kPurge;

const Bytes kBaud38400 = Sub(101, {0, 0, 0x96, 0}), kBaud9600 = Sub(101, {0, 0, 0x25, 0x80}), kSize = Sub(102, {8}),
            kStop = Sub(104, {1}), kPurged = Sub(112, {1});

Bytes Settings(const Bytes& baud, uint8_t parity) { return Concat({baud, kSize, Sub(103, {parity}), kStop}); }

void Agree(ScriptedPeer& server, milliseconds firstPurgeDelay = milliseconds(0))
{
    server.AnswerAfter(kOpening, {255, 253, 0, 255, 251, 0, 255, 253, 3, 255, 251, 3, 255, 253, 44});
    server.AnswerAfter(kOpening + kPurge, kPurged, firstPurgeDelay);
    server.AnswerAfter(kOpened, kPurged);
}

// The servers, each answering the first settings request after Agree.
void ConfirmsNineSixHundred(ScriptedPeer& server)
{
    Agree(server);
    server.AnswerAfter(kOpened + kSettings, Settings(kBaud9600, 1));
}
// 38400 8N1: the loader line, or a refusal of the run line's odd parity.
void ConfirmsLoaderLine(ScriptedPeer& server)
{
    Agree(server);
    server.AnswerAfter(kOpened + kSettings, Settings(kBaud38400, 1));
}
void NeverConfirms(ScriptedPeer& server) { Agree(server); }
// Refuses the run line's speed at once, confirms the rest 200 ms later, and
// the second request all but the stop size.
void ConfirmsLate(ScriptedPeer& server)
{
    Agree(server);
    server.AnswerAfter(kOpened + kSettings, kBaud9600);
    server.AnswerAfter(kOpened + kSettings, Concat({kSize, Sub(103, {2}), kStop}), milliseconds(200));
    server.AnswerAfter(kOpened + 2 * kSettings, Concat({kBaud38400, kSize, Sub(103, {2})}));
}
// Answers odd with none, then the even and the none on the way back to no parity.
void RefusesOddThenFollows(ScriptedPeer& server)
{
    ConfirmsLoaderLine(server);
    server.AnswerAfter(kOpened + 3 * kSettings, Concat({Settings(kBaud38400, 3), Settings(kBaud38400, 1)}));
}
// 300 ms for every round trip, and the device's echo 200 ms after the byte.
void SlowLink(ScriptedPeer& server)
{
    Agree(server, milliseconds(300));
    server.AnswerAfter(kOpened + kSettings, Settings(kBaud38400, 1));
    server.AnswerAfter(kOpened + kSettings + 1, {0x55}, milliseconds(200));
}

// What the host does; the outcome of the last step.
bool SetsLoaderLine(CSerialChannel& channel, ScriptedPeer&) { return channel.SetLineMode(kLoaderLine); }
bool SetsRunLine(CSerialChannel& channel, ScriptedPeer&) { return channel.SetLineMode(kRunLine); }
bool SetsRunLineTwice(CSerialChannel& channel, ScriptedPeer&)
{
    EXPECT_FALSE(channel.SetLineMode(kRunLine));
    std::this_thread::sleep_for(milliseconds(400)); // the late answers come meanwhile
    return channel.SetLineMode(kRunLine);
}
bool SetsRunLineThenLoaderLine(CSerialChannel& channel, ScriptedPeer& server)
{
    EXPECT_FALSE(channel.SetLineMode(kRunLine));
    const bool set = channel.SetLineMode(kLoaderLine);
    // By way of even parity: two requests.
    EXPECT_EQ(server.Received(kOpened + 3 * kSettings).size(), kOpened + 3 * kSettings);
    return set;
}
bool Echoes(CSerialChannel& channel, ScriptedPeer&)
{
    const uint8_t sent = 0x55;
    uint8_t echo = 0;
    return channel.SetLineMode(kLoaderLine) && channel.Write(&sent, 1) && channel.Read(&echo, 1) && echo == sent;
}
bool WritesMuch(CSerialChannel& channel, ScriptedPeer& server)
{
    EXPECT_TRUE(channel.SetLineMode(kLoaderLine));
    server.StopReading();
    const Bytes much(16 << 20, 0x55); // more than the connection holds
    return channel.Write(much.data(), static_cast<uint32_t>(much.size()));
}

struct NetworkCase {
    const char* name;
    void (*script)(ScriptedPeer&);
    bool (*act)(CSerialChannel&, ScriptedPeer&);
    bool ok;
    const char* problem; // why, the server named S; "" for none
    int minMs, maxMs;    // how long the steps took
};

TEST(NetworkPort, NamesWhatTheServerDidAndWaitsNoLongerThanItMust)
{
    const NetworkCase cases[] = {
        {"another speed confirmed fails at once", ConfirmsNineSixHundred, SetsLoaderLine, false,
         "S set the baud rate to 9600 where 38400 was asked", 0, 1000},
        {"another parity confirmed", ConfirmsLoaderLine, SetsRunLine, false,
         "S set the parity to none where odd was asked", 0, 1000},
        {"settings never confirmed", NeverConfirms, SetsLoaderLine, false,
         "no confirmation of the baud rate from S within 2 s", 2000, 3000},
        {"a late confirmation counts for nothing", ConfirmsLate, SetsRunLineTwice, false,
         "no confirmation of the stop bits from S within 2 s", 2400, 3500},
        {"after a failed switch the parity is unknown", RefusesOddThenFollows, SetsRunLineThenLoaderLine, true, "", 0,
         1000},
        {"the allowance grows by the round trip", SlowLink, Echoes, true, "", 0, 1000},
        {"a server that stops reading", ConfirmsLoaderLine, WritesMuch, false,
         "S stopped reading: nothing more could be sent within 2 s", 2000, 4000},
    };
    for (const NetworkCase& c : cases) {
        ScriptedPeer server(ScriptedPeer::Kind::PortServer);
        c.script(server);
        CSerialChannel channel;
        ASSERT_TRUE(channel.Open(server.Path())) << c.name << ": " << channel.OpenFailure().text;
        const auto start = Clock::now();
        EXPECT_EQ(c.act(channel, server), c.ok) << c.name;
        const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
        EXPECT_GE(took, c.minMs) << c.name;
        EXPECT_LE(took, c.maxMs) << c.name;
        std::string problem = channel.LastPortFailure().text;
        const std::string endpoint = server.Path().substr(std::string("rfc2217://").size());
        if (const size_t at = problem.find(endpoint); at != std::string::npos)
            problem.replace(at, endpoint.size(), "S");
        EXPECT_EQ(problem, c.problem) << c.name;
    }
}

} // namespace
