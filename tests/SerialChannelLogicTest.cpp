// The channel's algorithms against scripted platform primitives.

#include "FakeSerialBackend.h"
#include "SerialChannel.h"

#include <gtest/gtest.h>

namespace {

class SerialChannelLogic : public ::testing::Test {
protected:
    void SetUp() override { FakeSerial::Reset(); }

    void Arrive(FakePort& port, uint32_t atTick, uint8_t byte) { port.arrivals.emplace(atTick, byte); }
};

TEST_F(SerialChannelLogic, ReadOfNothingIsTrueWithoutTouchingThePort)
{
    CSerialChannel channel;
    ASSERT_TRUE(channel.Open(1));
    uint8_t buffer[4] = {9, 9, 9, 9};
    EXPECT_TRUE(channel.Read(buffer, 0));
    EXPECT_TRUE(channel.Read(buffer, -5));
    EXPECT_EQ(FakeSerial::Port(1).queries, 0);
    EXPECT_EQ(buffer[0], 9);
}

TEST_F(SerialChannelLogic, QueuedAnswerIsReadWithoutStartingTheClock)
{
    CSerialChannel channel;
    ASSERT_TRUE(channel.Open(1));
    FakeSerial::Port(1).waiting = {1, 2, 3};
    const uint32_t before = FakeSerial::Now();
    uint8_t buffer[3] = {};
    EXPECT_TRUE(channel.Read(buffer, 3));
    EXPECT_EQ(FakeSerial::Now(), before);
    EXPECT_EQ(buffer[2], 3);
}

TEST_F(SerialChannelLogic, SilenceFailsJustAfterTheAllowance)
{
    for (bool busyPoll : {false, true}) {
        FakeSerial::Reset(0xFFFFFFC0u); // the tick count wraps during the wait
        FakeSerial::SetBusyPoll(busyPoll);
        CSerialChannel channel;
        ASSERT_TRUE(channel.Open(1));
        const uint32_t start = FakeSerial::Now();
        uint8_t byte = 0x55;
        EXPECT_FALSE(channel.Read(&byte, 1));
        const uint32_t waited = FakeSerial::Now() - start;
        EXPECT_GT(waited, 100u) << "busy poll " << busyPoll;
        EXPECT_LE(waited, 103u) << "busy poll " << busyPoll;
        EXPECT_EQ(byte, 0x55);
    }
}

TEST_F(SerialChannelLogic, AllowanceCountsFromTheFirstEmptyPassNotBetweenBytes)
{
    CSerialChannel channel;
    ASSERT_TRUE(channel.Open(1));
    FakePort& port = FakeSerial::Port(1);
    const uint32_t start = FakeSerial::Now();
    // The answer starts 60 ms in and trickles, a byte every 10 ms.
    for (uint32_t i = 0; i < 10; ++i)
        Arrive(port, start + 60 + 10 * i, static_cast<uint8_t>(i + 1));
    uint8_t buffer[10] = {};
    EXPECT_FALSE(channel.Read(buffer, 10));
    EXPECT_GT(FakeSerial::Now() - start, 100u);
    EXPECT_LE(FakeSerial::Now() - start, 110u);
    // What did arrive is at the start of the buffer; the rest is untouched.
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[4], 5);
    EXPECT_EQ(buffer[5], 0);
}

TEST_F(SerialChannelLogic, QueueKeptFilledMayTakeLongerThanTheAllowance)
{
    CSerialChannel channel;
    ASSERT_TRUE(channel.Open(1));
    FakePort& port = FakeSerial::Port(1);
    port.waiting = {0};
    for (uint32_t i = 1; i < 300; ++i) // bytes arrive one per tick as they are taken
        Arrive(port, FakeSerial::Now() + i, static_cast<uint8_t>(i));
    FakeSerial::SetBusyPoll(true);
    uint8_t buffer[50] = {};
    EXPECT_TRUE(channel.Read(buffer, 50));
}

TEST_F(SerialChannelLogic, FailedReadOperationStillGathersTheAnswerThenFails)
{
    CSerialChannel channel;
    ASSERT_TRUE(channel.Open(1));
    FakePort& port = FakeSerial::Port(1);
    port.waiting = {7, 8, 9};
    port.failingReadOp = 0;
    uint8_t buffer[3] = {};
    EXPECT_FALSE(channel.Read(buffer, 3));
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(buffer[2], 9);
    EXPECT_TRUE(port.waiting.empty());
}

TEST_F(SerialChannelLogic, OpenClosesTheHeldPortEvenWhenTheNewOneIsMissing)
{
    CSerialChannel channel;
    ASSERT_TRUE(channel.Open(1));
    FakeSerial::Port(2).bExists = false;
    EXPECT_FALSE(channel.Open(2));
    EXPECT_EQ(FakeSerial::Port(1).closes, 1);
    EXPECT_FALSE(FakeSerial::Port(1).bOpen);
    EXPECT_FALSE(channel.IsOpen());
}

TEST_F(SerialChannelLogic, ClosedChannelDoesNothingAndFailsWhatNeedsAPort)
{
    FakeSerial::SetBusyPoll(true);
    CSerialChannel channel;
    channel.Close();
    channel.Purge();
    uint8_t byte = 0;
    EXPECT_FALSE(channel.SetLineMode(0));
    EXPECT_FALSE(channel.Write(&byte, 1));
    EXPECT_FALSE(channel.Read(&byte, 1)); // still ends, after the allowance
}

TEST_F(SerialChannelLogic, LineModesCarryTheirSettings)
{
    CSerialChannel channel;
    ASSERT_TRUE(channel.Open(1));
    const LineSettings& applied = FakeSerial::Port(1).applied;
    ASSERT_TRUE(channel.SetLineMode(0));
    EXPECT_EQ(applied.dwBaudRate, 38400u);
    EXPECT_EQ(applied.nParity, 1);
    ASSERT_TRUE(channel.SetLineMode(1));
    EXPECT_EQ(applied.dwBaudRate, 9600u);
    EXPECT_EQ(applied.nParity, 0);
    ASSERT_TRUE(channel.SetLineMode(2));
    EXPECT_EQ(applied.dwBaudRate, 38400u);
    EXPECT_EQ(applied.nParity, 0);
    EXPECT_EQ(applied.nDataBits, 8);
    EXPECT_EQ(applied.nStopBits, 0);
    EXPECT_FALSE(channel.SetLineMode(3));
    FakeSerial::Port(1).bApplyFails = true;
    EXPECT_FALSE(channel.SetLineMode(0));
}

TEST_F(SerialChannelLogic, ShortWriteIsAFailure)
{
    CSerialChannel channel;
    ASSERT_TRUE(channel.Open(1));
    const uint8_t frame[4] = {1, 2, 3, 4};
    EXPECT_TRUE(channel.Write(frame, 4));
    FakeSerial::Port(1).writeShortBy = 1;
    EXPECT_FALSE(channel.Write(frame, 4));
    FakeSerial::Port(1).bWriteFails = true;
    EXPECT_FALSE(channel.Write(frame, 4));
}

TEST_F(SerialChannelLogic, DestructionClosesAnOpenPort)
{
    {
        CSerialChannel channel;
        ASSERT_TRUE(channel.Open(3));
    }
    EXPECT_FALSE(FakeSerial::Port(3).bOpen);
    CSerialChannel next;
    EXPECT_TRUE(next.Open(3));
}

} // namespace
