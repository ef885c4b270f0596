// Each exchange of the loader protocol, byte for byte, against a scripted
// far end.

#include "DeviceLink.h"
#include "ScriptedPeer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes kZeros(128, 0x00);
Bytes Padded(Bytes head, size_t zeros)
{
    head.resize(head.size() + zeros, 0x00);
    return head;
}

bool Clear(CDeviceLink& link) { return link.ClearRange(0x6000, 0x8000); }
bool EraseThree(CDeviceLink& link) { return link.EraseBank(3); }
bool SignOn(CDeviceLink& link) { return link.WaitForSignOn(); }
bool Ping(CDeviceLink& link) { return link.PingLoader(); }
bool ZeroPage(CDeviceLink& link) { return link.ProgramPage(kZeros.data(), 0xB800, 2); }
bool Version(CDeviceLink& link)
{
    uint8_t reply[10];
    return link.QueryVersion(reply);
}
// Nothing is purged before the jump: a byte that came before it is still there.
bool JumpThenRead(CDeviceLink& link)
{
    link.JumpTo(0x6000);
    uint8_t byte = 0;
    return link.Read(&byte, 1) && byte == 0x5A;
}

// A stop (Ctrl-C) that comes once the frame has gone out: the detail says
// "interrupted" and where, never that the device failed to answer.
struct StopOnceSent : LinkObserver {
    void OnFrame(Direction direction, int16_t, const ExchangeLabel&, const uint8_t*, uint32_t) override
    {
        sent = sent || direction == Direction::Sent;
    }
    bool StopRequested() override { return sent; }
    bool sent = false;
};

struct FrameCase {
    const char* name;
    bool (*exchange)(CDeviceLink&);
    Bytes frame;  // what the host must send
    Bytes answer; // the device's, once the frame is in
    std::chrono::milliseconds delay;
    const char* detail;                      // the failure detail; "" when the exchange succeeds
    Bytes earlier = {};                      // from the device before the exchange
    std::chrono::milliseconds atLeast = 0ms; // how long the exchange takes at least
    bool stop = false;                       // a stop comes once the frame is out: ends it within 300 ms
};

void PrintTo(const FrameCase& c, std::ostream* out) { *out << c.name; }

class LoaderFrames : public ::testing::TestWithParam<FrameCase> {
protected:
    void SetUp() override { ASSERT_TRUE(peer.Open(link)); }

    ScriptedPeer peer;
    CDeviceLink link;
};

TEST_P(LoaderFrames, AreSentAndAnsweredAsTheLoadersDo)
{
    const FrameCase& c = GetParam();
    if (!c.earlier.empty()) {
        peer.AnswerAfter(0, c.earlier);
        std::this_thread::sleep_for(20ms);
    }
    if (!c.answer.empty())
        peer.AnswerAfter(c.frame.size(), c.answer, c.delay);
    StopOnceSent observer;
    link.SetObserver(c.stop ? &observer : nullptr);
    const auto start = Clock::now();
    EXPECT_EQ(c.exchange(link), *c.detail == '\0');
    const auto took = Clock::now() - start;
    EXPECT_GE(took, c.atLeast);
    EXPECT_TRUE(!c.stop || took < 300ms);
    EXPECT_STREQ(link.FailureDetail(), c.detail);
    EXPECT_EQ(peer.Received(c.frame.size()), c.frame);
}

// Sign-on reads start at about 0, 100, 400, ... 2800 ms; a pause follows each.
INSTANTIATE_TEST_SUITE_P(
    Exchanges, LoaderFrames,
    ::testing::Values(
        FrameCase{"a byte from before a command is no answer to it",
                  Clear,
                  {'F', 0x60, 0x00, 0x80, 0x00},
                  {},
                  0ms,
                  "clear: no answer within 100 ms",
                  {'D'}},
        FrameCase{"jump: no purge and no answer", JumpThenRead, {'G', 0x60, 0x00}, {}, 0ms, "", {0x5A}},
        FrameCase{"sign-on in the ninth pause, read by the tenth attempt", SignOn, {}, {'X'}, 2700ms, ""},
        FrameCase{"sign-on in the tenth pause: too late", SignOn, {}, {'X'}, 3000ms, "no sign-on 'X' within 3 s"},
        FrameCase{"other bytes before the sign-on, one taken an attempt", SignOn, {}, {}, 0ms, "", {'Q', 'Q', 'X'}},
        FrameCase{"other bytes only", SignOn, {}, {}, 0ms, "no sign-on 'X' within 3 s", Bytes(11, 'Q')},
        FrameCase{"page with a checksum mismatch",
                  ZeroPage,
                  Padded({'P', 0xB8, 0x00, 0x02, 0x80}, 128 + 1),
                  {0xFF},
                  0ms,
                  "page 0xB800 of bank 2: device answered 0xFF (checksum mismatch)"},
        FrameCase{"erase answered early: read after the whole pause",
                  [](CDeviceLink& l) { return l.EraseBank(2); },
                  {'E', 2},
                  {0x00},
                  50ms,
                  "",
                  {},
                  2000ms},
        FrameCase{"erase failed",
                  EraseThree,
                  {'E', 3},
                  {0x01},
                  50ms,
                  "erase of bank 3 (answer read 2 s after the command): device answered 0x01 (the erase failed)"},
        FrameCase{"version: the application's error frame",
                  Version,
                  {0x02, 0x01, 0x20},
                  {0x02, 0x02, 0x15, 0x01},
                  0ms,
                  "version: answer cut short: 4 of 10 bytes"},
        FrameCase{"a stop while the answer is awaited",
                  Clear,
                  {'F', 0x60, 0x00, 0x80, 0x00},
                  {},
                  0ms,
                  "interrupted while waiting for the answer to clear",
                  {},
                  0ms,
                  true},
        FrameCase{"a stop in the pause after an erase",
                  EraseThree,
                  {'E', 3},
                  {},
                  0ms,
                  "interrupted during the 2 s pause after erasing bank 3",
                  {},
                  0ms,
                  true},
        FrameCase{"a stop in the pause before the loader's 'Y'",
                  Ping,
                  {'V'},
                  {},
                  0ms,
                  "interrupted during the 500 ms pause before the secondary loader's 'Y'",
                  {},
                  0ms,
                  true}));

} // namespace
