// The byte-level exchanges with the bootstrap ROM, the two loaders and the
// application firmware.

#include "DeviceLink.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kSignOn = 'X';
constexpr uint8_t kDone = 'D';
constexpr uint8_t kLoaderAlive = 'Y';
constexpr int kSignOnAttempts = 10;
constexpr uint32_t kStopCheckMs = 20; // how often a watched pause asks whether to stop

uint8_t High(uint16_t value) { return static_cast<uint8_t>(value >> 8); }
uint8_t Low(uint16_t value) { return static_cast<uint8_t>(value); }

// What the secondary loader's failure replies to an erase or a page mean.
const char* EraseReplyMeaning(uint8_t reply) { return reply == 0x01 ? " (the erase failed)" : ""; }
const char* ProgramReplyMeaning(uint8_t reply)
{
    return reply == 0x01 ? " (a byte failed to program)" : reply == 0xFF ? " (checksum mismatch)" : "";
}

} // namespace

bool CDeviceLink::Fail(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(m_szFailure, sizeof m_szFailure, format, args);
    va_end(args);
    return false;
}

bool CDeviceLink::StopRequested() const { return m_pObserver && m_pObserver->StopRequested(); }

bool CDeviceLink::Pause(uint32_t ms, const char* during)
{
    if (!m_pObserver) {
        Sleep(ms);
        return true;
    }
    // Watched: in short steps, so that a request to stop is seen at once.
    const uint32_t start = TickCount();
    for (uint32_t slept = 0; slept < ms; slept = TickCount() - start) {
        if (StopRequested())
            return Fail("interrupted during %s", during);
        Sleep(std::min<uint32_t>(ms - slept, kStopCheckMs));
    }
    return true;
}

bool CDeviceLink::Send(const char* exchange, const uint8_t* frame, uint32_t length)
{
    if (StopRequested())
        return Fail("%s: interrupted before it was sent", exchange);
    const bool written = Write(frame, length);
    if (m_pObserver)
        m_pObserver->OnFrame(Direction::Sent, LineMode(), exchange, frame, length);
    if (written)
        return true;
    if (PortLost())
        return Fail("%s: the write failed: %s", exchange, LostReason());
    if (StopRequested())
        return Fail("%s: interrupted while it was being sent", exchange);
    return Fail("%s: the write failed", exchange);
}

bool CDeviceLink::Receive(const char* exchange, uint8_t* reply, uint32_t length)
{
    const bool complete = Read(reply, static_cast<int32_t>(length));
    if (m_pObserver)
        m_pObserver->OnFrame(Direction::Received, LineMode(), exchange, reply, LastReadCount());
    if (complete)
        return true;
    // A stop that came while the answer was awaited is why it is missing,
    // not the device; a gone port is why before either.
    if (PortLost())
        return Fail("%s: %s", exchange, LostReason());
    if (StopRequested())
        return Fail("interrupted while waiting for the answer to %s", exchange);
    if (LastReadCount() == 0)
        return Fail("%s: no answer within %u ms", exchange, kReadAllowanceMs);
    return Fail("%s: answer cut short: %u of %u bytes", exchange, LastReadCount(), length);
}

bool CDeviceLink::Expect(const char* exchange, uint8_t reply, uint8_t success, ReplyMeaning meaning)
{
    if (reply == success)
        return true;
    return Fail("%s: device answered 0x%02X%s", exchange, reply, meaning ? meaning(reply) : "");
}

bool CDeviceLink::SendAndExpect(const char* exchange, const uint8_t* frame, uint32_t length, uint8_t success,
                                ReplyMeaning meaning)
{
    Purge();
    uint8_t reply = 0;
    return Send(exchange, frame, length) && Receive(exchange, &reply, 1) &&
           Expect(exchange, reply, success, meaning);
}

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
        if (!Pause(200, "the wait for the primary loader's sign-on"))
            return false;
    }
    if (m_pObserver && last == kSignOn)
        m_pObserver->OnFrame(Direction::Received, LineMode(), "sign-on", &last, 1);
    if (last == kSignOn)
        return true;
    if (PortLost())
        return Fail("sign-on: %s", LostReason());
    return Fail("no sign-on 'X' within 3 s");
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
    if (!Send("ping", &frame, 1) || !Pause(500, "the 500 ms pause before the secondary loader's 'Y'"))
        return false;
    uint8_t reply = 0;
    return Receive("ping ('Y' read 500 ms after 'V')", &reply, 1) && Expect("ping", reply, kLoaderAlive);
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
    char exchange[64];
    std::snprintf(exchange, sizeof exchange, "erase of bank %u (answer read 2 s after the command)", bank);
    Purge();
    char pause[48];
    std::snprintf(pause, sizeof pause, "the 2 s pause after erasing bank %u", bank);
    if (!Send(exchange, frame, sizeof frame) || !Pause(2000, pause))
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
