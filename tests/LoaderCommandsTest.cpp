// Each exchange of the loader protocol, byte for byte, against a scripted
// far end; and against the simulated Kestrune where the listener matters.

#include "DeviceLink.h"
#include "ScriptedPeer.h"
#include "SimulatedKestrune.h"

#include <gtest/gtest.h>

#include <chrono>
#include <numeric>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

class LoaderCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(link.Open(peer.Path()));
        ASSERT_TRUE(link.SetLineMode(2));
    }

    ScriptedPeer peer;
    CDeviceLink link;
};

TEST_F(LoaderCommands, ProgramPageFrameAndReplies)
{
    Bytes page(128, 0x00);
    page[0] = 0xFF;
    page[1] = 0xFF;
    page[2] = 0x01; // 0xFF + 0xFF + 0x01 = 0x1FF
    peer.AnswerAfter(134, {0x00});
    EXPECT_TRUE(link.ProgramPage(page.data(), 0x8000, 3));
    Bytes frame = peer.Received(134);
    ASSERT_EQ(frame.size(), 134u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 5), (Bytes{0x50, 0x80, 0x00, 0x03, 0x80}));
    EXPECT_EQ(Bytes(frame.begin() + 5, frame.begin() + 133), page);
    EXPECT_EQ(frame[133], 0xFF);

    const Bytes zeros(128, 0x00);
    peer.AnswerAfter(268, {0x01});
    EXPECT_FALSE(link.ProgramPage(zeros.data(), 0xB800, 2));
    frame = peer.Received(268);
    EXPECT_EQ(frame[134 + 1], 0xB8);
    EXPECT_EQ(frame[134 + 3], 0x02);
    EXPECT_EQ(frame[267], 0x00);

    peer.AnswerAfter(402, {0xFF});
    EXPECT_FALSE(link.ProgramPage(zeros.data(), 0x8080, 2));
}

TEST_F(LoaderCommands, PrimaryLoaderFrames)
{
    peer.AnswerAfter(5, {'D'});
    EXPECT_TRUE(link.ClearRange(0x6000, 0x8000));
    EXPECT_EQ(peer.Received(5), (Bytes{0x46, 0x60, 0x00, 0x80, 0x00}));

    Bytes block(32);
    std::iota(block.begin(), block.end(), uint8_t{0x10});
    peer.AnswerAfter(5 + 35, {'N'});
    EXPECT_FALSE(link.WriteBlock(block.data(), 0x7FE0));
    Bytes sent = peer.Received(40);
    EXPECT_EQ(Bytes(sent.begin() + 5, sent.begin() + 8), (Bytes{'w', 0x7F, 0xE0}));
    EXPECT_EQ(Bytes(sent.begin() + 8, sent.end()), block);

    peer.AnswerAfter(43, block);
    uint8_t back[32] = {};
    EXPECT_TRUE(link.ReadBlock(0x6020, back));
    EXPECT_EQ(Bytes(back, back + 32), block);
    sent = peer.Received(43);
    EXPECT_EQ(Bytes(sent.begin() + 40, sent.end()), (Bytes{'r', 0x60, 0x20}));

    link.JumpTo(0x6000);
    sent = peer.Received(46);
    EXPECT_EQ(Bytes(sent.begin() + 43, sent.end()), (Bytes{'G', 0x60, 0x00}));
}

TEST_F(LoaderCommands, ExchangesWithNobodyListeningFail)
{
    const Bytes block(32, 0xAA);
    uint8_t id[3];
    uint8_t reply[10];
    EXPECT_FALSE(link.ClearRange(0x6000, 0x8000));
    EXPECT_FALSE(link.WriteBlock(block.data(), 0x6000));
    EXPECT_FALSE(link.ReadFlashId(id));
    EXPECT_FALSE(link.QueryVersion(reply));
}

TEST_F(LoaderCommands, EraseReadsItsReplyOnlyAfterTheFullPause)
{
    peer.AnswerAfter(2, {0x00}, 50ms); // an erase that finishes early: the reply waits
    auto start = Clock::now();
    EXPECT_TRUE(link.EraseBank(2));
    EXPECT_GE(Clock::now() - start, 2000ms);
    EXPECT_EQ(peer.Received(2), (Bytes{'E', 0x02}));

    peer.AnswerAfter(4, {0x01}, 50ms);
    EXPECT_FALSE(link.EraseBank(3));

    peer.AnswerAfter(6, {0x00}, 2250ms); // an erase that takes longer than the pause
    EXPECT_FALSE(link.EraseBank(3));
}

TEST_F(LoaderCommands, SignOnCountsOnlyAnXReadWithinTheElevenAttempts)
{
    // Reads start at about 0, 100, 400, ... 2800 ms; pauses follow each.
    peer.AnswerAfter(0, {'X'}, 2700ms); // during the ninth pause: taken by the tenth read
    EXPECT_TRUE(link.WaitForSignOn());

    link.Purge();
    peer.AnswerAfter(0, {'X'}, 3000ms); // during the tenth pause: too late
    EXPECT_FALSE(link.WaitForSignOn());
    std::this_thread::sleep_for(150ms);
}

TEST_F(LoaderCommands, SignOnConsumesOtherBytesOnePerAttempt)
{
    peer.SendNow(Bytes(11, 'Q'));
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(link.WaitForSignOn());

    peer.SendNow({'Q', 'Q', 'X'});
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(link.WaitForSignOn());
}

TEST_F(LoaderCommands, DownloadSendsTheStartByteThenTheProgram)
{
    Bytes program(256);
    std::iota(program.begin(), program.end(), uint8_t{0});
    peer.AnswerAfter(257, program);
    uint8_t echo[256];
    EXPECT_TRUE(link.DownloadBootstrap(program.data(), echo));
    const Bytes sent = peer.Received(257);
    EXPECT_EQ(sent[0], 0xFF);
    EXPECT_EQ(Bytes(sent.begin() + 1, sent.end()), program);
    EXPECT_EQ(Bytes(echo, echo + 256), program);

    peer.AnswerAfter(514, Bytes(100, 0x11)); // a short echo: the rest stays 0x00
    EXPECT_FALSE(link.DownloadBootstrap(program.data(), echo));
    EXPECT_EQ(echo[99], 0x11);
    EXPECT_EQ(echo[100], 0x00);
}

TEST_F(LoaderCommands, VersionQueryFailsOnTheApplicationsErrorFrame)
{
    peer.AnswerAfter(3, {0x02, 0x02, 0x15, 0x01});
    uint8_t reply[10];
    EXPECT_FALSE(link.QueryVersion(reply));
    EXPECT_EQ(peer.Received(3), (Bytes{0x02, 0x01, 0x20}));
}

// A stop (Ctrl-C) that comes once the frame has gone out: the detail says
// "interrupted" and where, never that the device failed to answer.
class StopOnceSent : public LinkObserver {
public:
    void OnFrame(Direction direction, int, const char*, const uint8_t*, uint32_t) override
    {
        m_bSent = m_bSent || direction == Direction::Sent;
    }
    bool StopRequested() override { return m_bSent; }

private:
    bool m_bSent = false;
};

TEST_F(LoaderCommands, AStopNamesWhereItCame)
{
    struct Case {
        const char* when;
        bool (*exchange)(CDeviceLink&);
        const char* detail;
    } cases[] = {
        {"waiting for an answer", [](CDeviceLink& l) { return l.ClearRange(0x6000, 0x8000); },
         "interrupted while waiting for the answer to clear"},
        {"in the pause after an erase", [](CDeviceLink& l) { return l.EraseBank(3); },
         "interrupted during the 2 s pause after erasing bank 3"},
        {"in the pause before the loader's 'Y'", [](CDeviceLink& l) { return l.PingLoader(); },
         "interrupted during the 500 ms pause before the secondary loader's 'Y'"},
    };
    for (const Case& c : cases) {
        StopOnceSent observer;
        link.SetObserver(&observer);
        const auto start = Clock::now();
        EXPECT_FALSE(c.exchange(link)) << c.when;
        EXPECT_LT(Clock::now() - start, 300ms) << c.when;
        EXPECT_STREQ(link.FailureDetail(), c.detail);
        link.SetObserver(nullptr);
    }
}

class LoaderCommandsOnDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.Start());
        ASSERT_TRUE(link.Open(sim.DevicePath()));
    }

    SimulatedKestrune sim;
    CDeviceLink link;
};

TEST_F(LoaderCommandsOnDevice, RunningApplicationReportsItsVersionInRunModeOnly)
{
    uint8_t reply[10] = {};
    ASSERT_TRUE(link.SetLineMode(0));
    ASSERT_TRUE(link.QueryVersion(reply));
    EXPECT_EQ(Bytes(reply, reply + 3), (Bytes{0x02, 0x08, 0x20}));
    EXPECT_EQ(std::string(reply + 3, reply + 8), "4.2.1");

    // Without parity the application sees line errors and answers with its error frame.
    ASSERT_TRUE(link.SetLineMode(2));
    EXPECT_FALSE(link.QueryVersion(reply));
}

TEST_F(LoaderCommandsOnDevice, LoaderIgnoresTheVersionQuery)
{
    sim.PowerCycle(true);
    ASSERT_TRUE(link.SetLineMode(0));
    uint8_t reply[10];
    EXPECT_FALSE(link.QueryVersion(reply));
}

} // namespace
