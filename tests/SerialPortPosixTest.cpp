// The termios backend on a pseudo-terminal.

#include "ScriptedPeer.h"
#include "SerialChannel.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <numeric>

namespace {

using Clock = std::chrono::steady_clock;

class SerialPortPosix : public ::testing::Test {
protected:
    termios HostSettings()
    {
        termios tio{};
        tcgetattr(peer.SlaveDescriptor(), &tio);
        return tio;
    }

    ScriptedPeer peer;
    CSerialChannel channel;
};

TEST_F(SerialPortPosix, PortIsHeldExclusively)
{
    CSerialChannel second;
    ASSERT_TRUE(peer.Open(channel));
    EXPECT_FALSE(peer.Open(second));
    channel.Close();
    EXPECT_TRUE(peer.Open(second));
}

TEST_F(SerialPortPosix, SettingsAPreviousProgramLeftAreClearedAndGivenBackOnClose)
{
    termios left = HostSettings();
    left.c_cflag |= CMSPAR | CRTSCTS;
    left.c_iflag |= IUCLC | IXON;
    cfsetospeed(&left, B19200);
    ASSERT_EQ(tcsetattr(peer.SlaveDescriptor(), TCSANOW, &left), 0);
    left = HostSettings(); // as the terminal keeps them
    ASSERT_TRUE(peer.Open(channel, 0));
    const termios tio = HostSettings();
    EXPECT_FALSE(tio.c_cflag & (CMSPAR | CRTSCTS)) << "mark parity or flow control survived";
    EXPECT_FALSE(tio.c_iflag & (IUCLC | IXON));
    channel.Close();
    const termios after = HostSettings();
    EXPECT_EQ(cfgetospeed(&after), B19200);
    EXPECT_EQ(after.c_cflag, left.c_cflag);
    EXPECT_EQ(after.c_iflag, left.c_iflag);
}

TEST_F(SerialPortPosix, BytesPassUnchangedBothWays)
{
    ASSERT_TRUE(peer.Open(channel));
    std::vector<uint8_t> all(256);
    std::iota(all.begin(), all.end(), uint8_t{0});
    peer.AnswerAfter(256, all);
    ASSERT_TRUE(channel.Write(all.data(), 256));
    uint8_t back[256] = {};
    ASSERT_TRUE(channel.Read(back, 256));
    EXPECT_EQ(std::vector<uint8_t>(back, back + 256), all);
    EXPECT_EQ(peer.Received(256), all);
}

TEST_F(SerialPortPosix, SilentLineFailsAReadAfterTheAllowanceWithoutSpinning)
{
    ASSERT_TRUE(peer.Open(channel));
    uint8_t byte = 0;
    const auto start = Clock::now();
    const std::clock_t cpuStart = std::clock();
    EXPECT_FALSE(channel.Read(&byte, 1));
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(100));
    EXPECT_LT(waited, std::chrono::milliseconds(300));
    EXPECT_LT(std::clock() - cpuStart, CLOCKS_PER_SEC / 20);
}

TEST_F(SerialPortPosix, EmulatedWireTimeHoldsTheWriteForItsCharacters)
{
    ASSERT_TRUE(peer.Open(channel, 1, PortOptions{true}));
    const std::vector<uint8_t> frame(96, 0x55); // 96 characters at 9600 bit/s: 100 ms
    const auto start = Clock::now();
    ASSERT_TRUE(channel.Write(frame.data(), 96));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
}

} // namespace
