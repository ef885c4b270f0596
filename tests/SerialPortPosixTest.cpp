// The termios backend on a pseudo-terminal.

#include "ScriptedPeer.h"
#include "SerialChannel.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

class SerialPortPosix : public ::testing::Test {
protected:
    bool Open(CSerialChannel& channel, PortOptions options = {}) { return channel.Open(peer.Path(), options); }

    termios HostSettings()
    {
        termios tio{};
        tcgetattr(peer.SlaveDescriptor(), &tio);
        return tio;
    }

    ScriptedPeer peer;
};

TEST(PortNames, PortNumberIsTheMatchingSerialDevice)
{
    EXPECT_EQ(PortNameOf(1), "/dev/ttyS0");
    EXPECT_EQ(PortNameOf(3), "/dev/ttyS2");
}

TEST_F(SerialPortPosix, PortIsHeldExclusively)
{
    CSerialChannel first;
    CSerialChannel second;
    ASSERT_TRUE(Open(first));
    EXPECT_FALSE(Open(second));
    first.Close();
    EXPECT_TRUE(Open(second));
}

TEST_F(SerialPortPosix, MissingDeviceOrNonTerminalDoesNotOpen)
{
    CSerialChannel channel;
    EXPECT_FALSE(channel.Open("/nonexistent/ttyKZ"));
    EXPECT_EQ(channel.OpenFailure().systemError, ENOENT);
    EXPECT_FALSE(channel.Open("/dev/null"));
    EXPECT_EQ(channel.OpenFailure().cause, PortOpenFailure::Cause::NotATerminal);
    EXPECT_FALSE(channel.IsOpen());
}

TEST_F(SerialPortPosix, LineModesReachTheTerminal)
{
    CSerialChannel channel;
    ASSERT_TRUE(Open(channel));
    ASSERT_TRUE(channel.SetLineMode(0));
    termios tio = HostSettings();
    EXPECT_EQ(cfgetospeed(&tio), B38400);
    EXPECT_TRUE(tio.c_cflag & PARODD); // (a pseudo-terminal drops PARENB itself)
    EXPECT_TRUE(tio.c_iflag & INPCK);
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF | ICRNL));
    EXPECT_FALSE(tio.c_oflag & OPOST);

    ASSERT_TRUE(channel.SetLineMode(1));
    tio = HostSettings();
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_FALSE(tio.c_cflag & PARODD);
    EXPECT_TRUE(tio.c_iflag & INPCK); // checking stays on without parity

    ASSERT_TRUE(channel.SetLineMode(2));
    tio = HostSettings();
    EXPECT_EQ(cfgetospeed(&tio), B38400);
    EXPECT_FALSE(tio.c_cflag & PARODD);
}

TEST_F(SerialPortPosix, SettingsAPreviousProgramLeftAreClearedAndGivenBackOnClose)
{
    termios left = HostSettings();
    left.c_cflag |= CMSPAR | CRTSCTS;
    left.c_iflag |= IUCLC | IXON;
    cfsetospeed(&left, B19200);
    ASSERT_EQ(tcsetattr(peer.SlaveDescriptor(), TCSANOW, &left), 0);
    left = HostSettings(); // as the terminal keeps them
    {
        CSerialChannel channel;
        ASSERT_TRUE(Open(channel));
        ASSERT_TRUE(channel.SetLineMode(0));
        const termios tio = HostSettings();
        EXPECT_FALSE(tio.c_cflag & (CMSPAR | CRTSCTS)) << "mark parity or flow control survived";
        EXPECT_FALSE(tio.c_iflag & (IUCLC | IXON));
    }
    const termios after = HostSettings();
    EXPECT_EQ(cfgetospeed(&after), B19200);
    EXPECT_EQ(after.c_cflag, left.c_cflag);
    EXPECT_EQ(after.c_iflag, left.c_iflag);
}

TEST_F(SerialPortPosix, AnotherProgramCannotOpenAPortThatIsOpen)
{
    CSerialChannel channel;
    ASSERT_TRUE(Open(channel));
    const pid_t child = fork();
    if (child == 0) { // another program: its own channel on the same device
        CSerialChannel other;
        _exit(other.Open(peer.Path()) ? 1 : 0);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the second program opened the port";
}

TEST_F(SerialPortPosix, BytesPassUnchangedBothWays)
{
    CSerialChannel channel;
    ASSERT_TRUE(Open(channel));
    ASSERT_TRUE(channel.SetLineMode(2));
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<uint8_t>(i);
    peer.AnswerAfter(256, all);
    ASSERT_TRUE(channel.Write(all.data(), 256));
    uint8_t back[256] = {};
    ASSERT_TRUE(channel.Read(back, 256));
    EXPECT_EQ(std::vector<uint8_t>(back, back + 256), all);
    EXPECT_EQ(peer.Received(256), all);
}

TEST_F(SerialPortPosix, SilentLineFailsAReadAfterTheAllowanceWithoutSpinning)
{
    CSerialChannel channel;
    ASSERT_TRUE(Open(channel));
    ASSERT_TRUE(channel.SetLineMode(2));
    uint8_t byte = 0;
    const auto start = Clock::now();
    const std::clock_t cpuStart = std::clock();
    EXPECT_FALSE(channel.Read(&byte, 1));
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(100));
    EXPECT_LT(waited, std::chrono::milliseconds(300));
    EXPECT_LT(std::clock() - cpuStart, CLOCKS_PER_SEC / 20);
}

TEST_F(SerialPortPosix, PurgeDiscardsWhatWaits)
{
    CSerialChannel channel;
    ASSERT_TRUE(Open(channel));
    ASSERT_TRUE(channel.SetLineMode(2));
    peer.SendNow({1, 2, 3});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    channel.Purge();
    uint8_t byte = 0;
    EXPECT_FALSE(channel.Read(&byte, 1));
}

TEST_F(SerialPortPosix, DestroyedChannelLetsThePortGo)
{
    {
        CSerialChannel channel;
        ASSERT_TRUE(Open(channel));
    }
    CSerialChannel next;
    EXPECT_TRUE(Open(next));
}

TEST_F(SerialPortPosix, EmulatedWireTimeHoldsTheWriteForItsCharacters)
{
    CSerialChannel channel;
    ASSERT_TRUE(Open(channel, PortOptions{true}));
    ASSERT_TRUE(channel.SetLineMode(1));
    const std::vector<uint8_t> frame(96, 0x55); // 96 characters at 9600 bit/s: 100 ms
    const auto start = Clock::now();
    ASSERT_TRUE(channel.Write(frame.data(), 96));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
}

} // namespace
