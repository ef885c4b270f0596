// The serial channel: its algorithms against a scripted stand-in for the
// platform, and the termios backend on a pseudo-terminal.

#include "SerialChannel.h"
#include "DeviceLink.h"
#include "FakeSerialPort.h"
#include "ScriptedPeer.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <csignal>
#include <numeric>
#include <pthread.h>
#include <thread>
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
        {"an answer trickling in from 60 ms on: the allowance is not renewed a byte",
         1000,
         false,
         {},
         10,
         60,
         10,
         -1,
         10,
         false,
         101,
         110,
         {1, 2, 3, 4, 5}},
        {"a failed read operation still gathers the answer",
         1000,
         false,
         {7, 8, 9},
         0,
         0,
         0,
         0,
         3,
         false,
         0,
         101,
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
    EXPECT_FALSE(channel.SetLineMode(kRunLine));
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

// What the port found reaches the person: the system's reason for a failed
// transfer or setting, and a lost adapter's own words.
TEST(PortFailures, ReachTheFailureDetailWithTheSystemsReason)
{
    using Kind = PortFailure::Kind;
    struct Case {
        const char* name;
        int systemError;
        Kind kind;
        bool bWriteFails, bReadFails, bSettingsRefused;
        const char* detail;
    };
    const Case cases[] = {
        {"a write", EBADF, Kind::TransferFailed, true, false, false, "version: the write failed: Bad file descriptor"},
        {"a write the port says nothing about", 0, Kind::TransferFailed, true, false, false,
         "version: the write failed"},
        {"a read", EBADF, Kind::TransferFailed, false, true, false, "version: the read failed: Bad file descriptor"},
        {"a read on a lost port", EIO, Kind::Lost, false, true, false, "version: Input/output error"},
        {"a line setting", EINVAL, Kind::SettingRefused, false, false, true,
         "the port did not take line mode 1: Invalid argument"},
    };
    for (const Case& c : cases) {
        FakePortState port;
        CDeviceLink link;
        ASSERT_TRUE(link.Open(OpenFakePort(port)));
        port.systemError = c.systemError;
        port.failureKind = c.kind;
        port.bWriteFails = c.bWriteFails;
        port.failingReadOp = c.bReadFails ? -2 : -1;
        for (uint8_t i = 0; i < 10; ++i) // the answer, after the purge
            port.arrivals.emplace(port.tick + 10, '5');
        port.bSettingsRefused = c.bSettingsRefused;
        uint8_t reply[10];
        EXPECT_FALSE(c.bSettingsRefused ? link.LoadPrimaryBootstrap() : link.QueryVersion(reply)) << c.name;
        EXPECT_STREQ(link.FailureDetail(), c.detail) << c.name;
    }
}

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
    ASSERT_TRUE(peer.Open(channel, kRunLine));
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

extern "C" void IgnoreSignal(int) {}

// A signal ends the wait in poll() early; the read waits on, and the port
// is not taken for gone.
TEST(SerialPortPosixReads, SilentLineFailsAReadAfterTheAllowanceWithoutSpinning)
{
    struct sigaction action {};
    action.sa_handler = IgnoreSignal; // and no SA_RESTART, as the command line's handlers
    sigaction(SIGUSR1, &action, nullptr);
    for (const bool signalled : {false, true}) {
        ScriptedPeer peer;
        CSerialChannel channel;
        ASSERT_TRUE(peer.Open(channel));
        std::thread sender;
        if (signalled)
            sender = std::thread([reader = pthread_self()] {
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                pthread_kill(reader, SIGUSR1);
            });
        uint8_t byte = 0;
        const auto start = Clock::now();
        const std::clock_t cpuStart = std::clock();
        EXPECT_FALSE(channel.Read(&byte, 1));
        const auto waited = Clock::now() - start;
        if (sender.joinable())
            sender.join();
        EXPECT_GE(waited, std::chrono::milliseconds(100)) << signalled;
        EXPECT_LT(waited, std::chrono::milliseconds(300)) << signalled;
        EXPECT_LT(std::clock() - cpuStart, CLOCKS_PER_SEC / 20) << signalled;
        EXPECT_FALSE(channel.PortLost()) << signalled;
    }
    signal(SIGUSR1, SIG_DFL);
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
