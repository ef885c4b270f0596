// The byte-level exchanges with the bootstrap ROM, the two loaders and the
// application firmware.

#include "DeviceLink.h"
#include "DurationText.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kSignOn = 'X';
constexpr uint8_t kDone = 'D';
constexpr uint8_t kLoaderAlive = 'Y';
// How long the primary loader has to sign on: each attempt is a pause and a read.
constexpr uint32_t kSignOnWaitMs = kSignOnAttempts * (kSignOnPollMs + CSerialChannel::kReadAllowanceMs);

uint8_t High(uint16_t value) { return static_cast<uint8_t>(value >> 8); }
uint8_t Low(uint16_t value) { return static_cast<uint8_t>(value); }

// What the secondary loader's failure replies to an erase or a page mean.
const char* EraseReplyMeaning(uint8_t reply) { return reply == 0x01 ? " (the erase failed)" : ""; }
const char* ProgramReplyMeaning(uint8_t reply)
{
    return reply == 0x01 ? " (a byte failed to program)" : reply == 0xFF ? " (checksum mismatch)" : "";
}

} // namespace

bool CDeviceLink::DownloadBootstrap(const uint8_t* program, uint8_t* echo)
{
    const uint8_t start = 0xFF;
    Purge();
    if (!Send({LinkExchange::DownloadStart}, &start, 1))
        return false;
    Purge();
    if (!Send({LinkExchange::Download}, program, kBootstrapSize))
        return false;
    std::memset(echo, 0x00, kBootstrapSize);
    return Receive({LinkExchange::Download}, echo, kBootstrapSize);
}

bool CDeviceLink::WaitForSignOn()
{
    uint8_t last = 0xFF;
    Read(&last, 1);
    for (int attempt = 0; attempt < kSignOnAttempts && last != kSignOn; ++attempt) {
        Read(&last, 1);
        if (!Pause(kSignOnPollMs, "the wait for the primary loader's sign-on"))
            return false;
    }
    if (m_pObserver && last == kSignOn)
        m_pObserver->OnFrame(Direction::Received, LineMode(), {LinkExchange::SignOn}, &last, 1);
    if (last == kSignOn)
        return true;
    if (PortLost())
        return Fail("sign-on: %s", LastPortFailure().text.c_str());
    return Fail("no sign-on 'X' within %s", DurationText(kSignOnWaitMs).c_str());
}

bool CDeviceLink::ClearRange(uint16_t start, uint16_t end)
{
    const uint8_t frame[] = {'F', High(start), Low(start), High(end), Low(end)};
    static_assert(sizeof frame == FrameLengthsOf(LinkExchange::Clear).sent);
    return SendAndExpect({LinkExchange::Clear}, frame, sizeof frame, kDone);
}

bool CDeviceLink::WriteBlock(const uint8_t* data, uint16_t address)
{
    uint8_t frame[3 + kBlockSize] = {'w', High(address), Low(address)};
    static_assert(sizeof frame == FrameLengthsOf(LinkExchange::WriteBlock).sent);
    std::memcpy(frame + 3, data, kBlockSize);
    return SendAndExpect({LinkExchange::WriteBlock, address}, frame, sizeof frame, kDone);
}

bool CDeviceLink::ReadBlock(uint16_t address, uint8_t* block)
{
    const uint8_t frame[] = {'r', High(address), Low(address)};
    static_assert(sizeof frame == FrameLengthsOf(LinkExchange::ReadBlock).sent);
    const ExchangeLabel exchange{LinkExchange::ReadBlock, address};
    Purge();
    return Send(exchange, frame, sizeof frame) && Receive(exchange, block, kBlockSize);
}

void CDeviceLink::JumpTo(uint16_t address)
{
    // No purge and no answer: the secondary loader's ping confirms the jump.
    const uint8_t frame[] = {'G', High(address), Low(address)};
    static_assert(sizeof frame == FrameLengthsOf(LinkExchange::Jump).sent);
    Send({LinkExchange::Jump}, frame, sizeof frame);
}

bool CDeviceLink::PingLoader()
{
    const uint8_t frame = 'V';
    Purge();
    // Texts on the stack (DurationText fits its string's own buffer): the
    // update makes no heap allocation.
    char during[80];
    std::snprintf(during, sizeof during, "the %s pause before the secondary loader's 'Y'",
                  DurationText(kPingPauseMs).c_str());
    if (!Send({LinkExchange::Ping}, &frame, 1) || !Pause(kPingPauseMs, during))
        return false;
    uint8_t reply = 0;
    return Receive({LinkExchange::Ping}, &reply, 1) && Expect({LinkExchange::Ping}, reply, kLoaderAlive);
}

bool CDeviceLink::ReadFlashId(uint8_t* id)
{
    const uint8_t frame = 'G';
    Purge();
    return Send({LinkExchange::FlashId}, &frame, 1) &&
           Receive({LinkExchange::FlashId}, id, FrameLengthsOf(LinkExchange::FlashId).answer);
}

bool CDeviceLink::EraseBank(uint8_t bank)
{
    const uint8_t frame[] = {'E', bank};
    static_assert(sizeof frame == FrameLengthsOf(LinkExchange::Erase).sent);
    const ExchangeLabel exchange{LinkExchange::Erase, 0, bank};
    Purge();
    char pause[80];
    std::snprintf(pause, sizeof pause, "the %s pause after erasing bank %u", DurationText(kErasePauseMs).c_str(), bank);
    if (!Send(exchange, frame, sizeof frame) || !Pause(kErasePauseMs, pause))
        return false;
    uint8_t reply = 0xFF;
    return Receive(exchange, &reply, 1) && Expect(exchange, reply, 0x00, EraseReplyMeaning);
}

bool CDeviceLink::ProgramPage(const uint8_t* data, uint16_t address, uint8_t bank)
{
    uint8_t frame[6 + kPageSize] = {'P', High(address), Low(address), bank, kPageSize};
    static_assert(sizeof frame == FrameLengthsOf(LinkExchange::Program).sent);
    uint32_t sum = 0;
    for (uint32_t i = 0; i < kPageSize; ++i) {
        frame[5 + i] = data[i];
        sum += data[i];
    }
    frame[5 + kPageSize] = static_cast<uint8_t>(sum);
    return SendAndExpect({LinkExchange::Program, address, bank}, frame, sizeof frame, 0x00, ProgramReplyMeaning);
}

bool CDeviceLink::QueryVersion(uint8_t* reply)
{
    const uint8_t frame[] = {0x02, 0x01, 0x20};
    static_assert(sizeof frame == FrameLengthsOf(LinkExchange::Version).sent);
    Purge();
    return Send({LinkExchange::Version}, frame, sizeof frame) &&
           Receive({LinkExchange::Version}, reply, FrameLengthsOf(LinkExchange::Version).answer);
}
