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
constexpr int kSignOnAttempts = 10;
constexpr uint32_t kSignOnPollMs = 200;  // between the sign-on's reads
constexpr uint32_t kPingPauseMs = 500;   // before the secondary loader's 'Y' is read
constexpr uint32_t kErasePauseMs = 2000; // before an erase's answer is read
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
    if (!Send("download start", &start, 1))
        return false;
    Purge();
    if (!Send("download", program, kBootstrapSize))
        return false;
    std::memset(echo, 0x00, kBootstrapSize);
    return Receive("download echo", echo, kBootstrapSize);
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
        m_pObserver->OnFrame(Direction::Received, LineMode(), "sign-on", &last, 1);
    if (last == kSignOn)
        return true;
    if (PortLost())
        return Fail("sign-on: %s", LastPortFailure().text.c_str());
    return Fail("no sign-on 'X' within %s", DurationText(kSignOnWaitMs).c_str());
}

bool CDeviceLink::ClearRange(uint16_t start, uint16_t end)
{
    const uint8_t frame[] = {'F', High(start), Low(start), High(end), Low(end)};
    return SendAndExpect("clear", frame, sizeof frame, kDone);
}

bool CDeviceLink::WriteBlock(const uint8_t* data, uint16_t address)
{
    uint8_t frame[3 + kBlockSize] = {'w', High(address), Low(address)};
    std::memcpy(frame + 3, data, kBlockSize);
    char exchange[32];
    std::snprintf(exchange, sizeof exchange, "write block 0x%04X", address);
    return SendAndExpect(exchange, frame, sizeof frame, kDone);
}

bool CDeviceLink::ReadBlock(uint16_t address, uint8_t* block)
{
    const uint8_t frame[] = {'r', High(address), Low(address)};
    char exchange[32];
    std::snprintf(exchange, sizeof exchange, "read block 0x%04X", address);
    Purge();
    return Send(exchange, frame, sizeof frame) && Receive(exchange, block, kBlockSize);
}

void CDeviceLink::JumpTo(uint16_t address)
{
    // No purge and no answer: the secondary loader's ping confirms the jump.
    const uint8_t frame[] = {'G', High(address), Low(address)};
    Send("jump", frame, sizeof frame);
}

bool CDeviceLink::PingLoader()
{
    const uint8_t frame = 'V';
    Purge();
    // Texts on the stack (DurationText fits its string's own buffer): the
    // update makes no heap allocation.
    const std::string pause = DurationText(kPingPauseMs);
    char during[80];
    std::snprintf(during, sizeof during, "the %s pause before the secondary loader's 'Y'", pause.c_str());
    if (!Send("ping", &frame, 1) || !Pause(kPingPauseMs, during))
        return false;
    char exchange[48];
    std::snprintf(exchange, sizeof exchange, "ping ('Y' read %s after 'V')", pause.c_str());
    uint8_t reply = 0;
    return Receive(exchange, &reply, 1) && Expect("ping", reply, kLoaderAlive);
}

bool CDeviceLink::ReadFlashId(uint8_t* id)
{
    const uint8_t frame = 'G';
    Purge();
    return Send("flash id", &frame, 1) && Receive("flash id", id, 3);
}

bool CDeviceLink::EraseBank(uint8_t bank)
{
    const uint8_t frame[] = {'E', bank};
    const std::string wait = DurationText(kErasePauseMs);
    char exchange[80];
    std::snprintf(exchange, sizeof exchange, "erase of bank %u (answer read %s after the command)", bank, wait.c_str());
    Purge();
    char pause[80];
    std::snprintf(pause, sizeof pause, "the %s pause after erasing bank %u", wait.c_str(), bank);
    if (!Send(exchange, frame, sizeof frame) || !Pause(kErasePauseMs, pause))
        return false;
    uint8_t reply = 0xFF;
    return Receive(exchange, &reply, 1) && Expect(exchange, reply, 0x00, EraseReplyMeaning);
}

bool CDeviceLink::ProgramPage(const uint8_t* data, uint16_t address, uint8_t bank)
{
    uint8_t frame[6 + kPageSize] = {'P', High(address), Low(address), bank, kPageSize};
    uint32_t sum = 0;
    for (uint32_t i = 0; i < kPageSize; ++i) {
        frame[5 + i] = data[i];
        sum += data[i];
    }
    frame[5 + kPageSize] = static_cast<uint8_t>(sum);
    char exchange[32];
    std::snprintf(exchange, sizeof exchange, "page 0x%04X of bank %u", address, bank);
    return SendAndExpect(exchange, frame, sizeof frame, 0x00, ProgramReplyMeaning);
}

bool CDeviceLink::QueryVersion(uint8_t* reply)
{
    const uint8_t frame[] = {0x02, 0x01, 0x20};
    Purge();
    return Send("version", frame, sizeof frame) && Receive("version", reply, 10);
}
