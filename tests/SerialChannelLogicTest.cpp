// The channel's algorithms against scripted platform primitives.

#include "FakeSerialPort.h"
#include "SerialChannel.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class SerialChannelLogic : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(channel.Open(OpenFakePort(port))); }

    FakePortState port;
    CSerialChannel channel;
};

struct ReadCase {
    const char* name;
    uint32_t start;               // the tick at the start
    bool busyPoll;                // as on Win32: no wait, and every clock reading moves time on
    Bytes waiting;                // in the queue at the start
    uint32_t arrivals, at, every; // then bytes 1, 2, ... from tick start + at, one every so many ticks
    int failingReadOp;            // which ReadWaiting call fails: -1 none, -2 all
    uint32_t count;               // bytes asked for
    bool ok;
    uint32_t minTicks, maxTicks; // how long the read took
    Bytes read;                  // what the buffer holds; the rest stays 0
};

// A read succeeds when its bytes arrive within 100 ms of the first moment
// the queue was found empty.
TEST(SerialChannelReads, SucceedWhenTheAnswerArrivesWithinTheAllowance)
{
    const ReadCase cases[] = {
        {"a queued answer starts no clock", 1000, false, {1, 2, 3}, 0, 0, 0, -1, 3, true, 0, 0, {1, 2, 3}},
        {"silence, the tick count wrapping", 0xFFFFFFC0u, false, {}, 0, 0, 0, -1, 1, false, 101, 103, {}},
        {"silence under a busy poll", 0xFFFFFFC0u, true, {}, 0, 0, 0, -1, 1, false, 101, 103, {}},
        {"an answer trickling in from 60 ms on: the allowance is not renewed a byte", 1000, false, {}, 10, 60, 10, -1,
         10, false, 101, 110, {1, 2, 3, 4, 5}},
        {"a failed read operation still gathers the answer", 1000, false, {7, 8, 9}, 0, 0, 0, 0, 3, false, 0, 101,
         {7, 8, 9}},
        {"a port that reports bytes it never delivers", 1000, false, {1}, 0, 0, 0, -2, 1, false, 101, 200, {}},
    };
    for (const ReadCase& c : cases) {
        FakePortState port;
        CSerialChannel channel;
        ASSERT_TRUE(channel.Open(OpenFakePort(port)));
        port.tick = c.start;
        port.bBusyPoll = c.busyPoll;
        port.waiting.assign(c.waiting.begin(), c.waiting.end());
        port.failingReadOp = c.failingReadOp;
        for (uint32_t i = 0; i < c.arrivals; ++i)
            port.arrivals.emplace(c.start + c.at + i * c.every, static_cast<uint8_t>(i + 1));
        Bytes buffer(c.count, 0x00);
        EXPECT_EQ(channel.Read(buffer.data(), static_cast<int32_t>(c.count)), c.ok) << c.name;
        EXPECT_GE(port.tick - c.start, c.minTicks) << c.name;
        EXPECT_LE(port.tick - c.start, c.maxTicks) << c.name;
        Bytes expected = c.read;
        expected.resize(c.count, 0x00);
        EXPECT_EQ(buffer, expected) << c.name;
    }
}

TEST_F(SerialChannelLogic, OpenClosesTheHeldPortEvenWhenTheNewOneIsMissingAndThenNeedsOne)
{
    EXPECT_FALSE(channel.Open("/nonexistent/ttyKZ"));
    EXPECT_EQ(port.closes, 1);
    EXPECT_FALSE(channel.IsOpen());
    channel.Purge();
    uint8_t byte = 0;
    EXPECT_FALSE(channel.SetLineMode(0));
    EXPECT_FALSE(channel.Write(&byte, 1));
    EXPECT_FALSE(channel.Read(&byte, 1));
}

TEST_F(SerialChannelLogic, ShortWriteIsAFailure)
{
    const uint8_t frame[4] = {1, 2, 3, 4};
    EXPECT_TRUE(channel.Write(frame, 4));
    port.writeShortBy = 1;
    EXPECT_FALSE(channel.Write(frame, 4));
    port.bWriteFails = true;
    EXPECT_FALSE(channel.Write(frame, 4));
}

} // namespace
