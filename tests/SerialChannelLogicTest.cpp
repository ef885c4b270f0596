// The channel's algorithms against scripted platform primitives.

#include "FakeSerialPort.h"
#include "SerialChannel.h"

#include <gtest/gtest.h>

namespace {

class SerialChannelLogic : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(channel.Open(OpenFakePort(port))); }

    void Arrive(uint32_t atTick, uint8_t byte) { port.arrivals.emplace(atTick, byte); }

    FakePortState port;
    CSerialChannel channel;
};

TEST_F(SerialChannelLogic, QueuedAnswerIsReadWithoutStartingTheClock)
{
    port.waiting = {1, 2, 3};
    const uint32_t before = port.tick;
    uint8_t buffer[3] = {};
    EXPECT_TRUE(channel.Read(buffer, 3));
    EXPECT_EQ(port.tick, before);
    EXPECT_EQ(buffer[2], 3);
}

TEST_F(SerialChannelLogic, SilenceFailsJustAfterTheAllowance)
{
    for (bool busyPoll : {false, true}) {
        port.tick = 0xFFFFFFC0u; // the tick count wraps during the wait
        port.bBusyPoll = busyPoll;
        const uint32_t start = port.tick;
        uint8_t byte = 0x55;
        EXPECT_FALSE(channel.Read(&byte, 1));
        const uint32_t waited = port.tick - start;
        EXPECT_GT(waited, 100u) << "busy poll " << busyPoll;
        EXPECT_LE(waited, 103u) << "busy poll " << busyPoll;
        EXPECT_EQ(byte, 0x55);
    }
}

TEST_F(SerialChannelLogic, AllowanceCountsFromTheFirstEmptyPassNotBetweenBytes)
{
    const uint32_t start = port.tick;
    // The answer starts 60 ms in and trickles, a byte every 10 ms.
    for (uint32_t i = 0; i < 10; ++i)
        Arrive(start + 60 + 10 * i, static_cast<uint8_t>(i + 1));
    uint8_t buffer[10] = {};
    EXPECT_FALSE(channel.Read(buffer, 10));
    EXPECT_GT(port.tick - start, 100u);
    EXPECT_LE(port.tick - start, 110u);
    // What did arrive is at the start of the buffer; the rest is untouched.
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[4], 5);
    EXPECT_EQ(buffer[5], 0);
}

TEST_F(SerialChannelLogic, QueueKeptFilledMayTakeLongerThanTheAllowance)
{
    port.waiting = {0};
    for (uint32_t i = 1; i < 300; ++i) // bytes arrive one per tick as they are taken
        Arrive(port.tick + i, static_cast<uint8_t>(i));
    port.bBusyPoll = true;
    uint8_t buffer[50] = {};
    EXPECT_TRUE(channel.Read(buffer, 50));
}

TEST_F(SerialChannelLogic, FailedReadOperationStillGathersTheAnswerThenFails)
{
    port.waiting = {7, 8, 9};
    port.failingReadOp = 0;
    uint8_t buffer[3] = {};
    EXPECT_FALSE(channel.Read(buffer, 3));
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(buffer[2], 9);
    EXPECT_TRUE(port.waiting.empty());

    // A port that reports bytes but never delivers them fails after the allowance.
    port.waiting = {1};
    port.failingReadOp = -2; // every one
    const uint32_t start = port.tick;
    EXPECT_FALSE(channel.Read(buffer, 1));
    EXPECT_GT(port.tick - start, 100u);
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
