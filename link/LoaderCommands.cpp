// The byte-level exchanges with the bootstrap ROM, the two loaders and the
// application firmware.

#include "DeviceLink.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace {

constexpr uint8_t kSignOn = 'X';
constexpr uint8_t kDone = 'D';
constexpr uint8_t kLoaderAlive = 'Y';
constexpr int kSignOnAttempts = 10;

void Pause(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint8_t High(uint16_t value) { return static_cast<uint8_t>(value >> 8); }
uint8_t Low(uint16_t value) { return static_cast<uint8_t>(value); }

} // namespace

bool CDeviceLink::SendAndExpect(const uint8_t* frame, uint32_t length, uint8_t success)
{
    Purge();
    if (!Write(frame, length))
        return false;
    uint8_t reply = 0;
    return Read(&reply, 1) && reply == success;
}

bool CDeviceLink::DownloadBootstrap(const uint8_t* program, uint8_t* echo)
{
    const uint8_t start = 0xFF;
    Purge();
    if (!Write(&start, 1))
        return false;
    Purge();
    if (!Write(program, kBootstrapSize))
        return false;
    std::memset(echo, 0x00, kBootstrapSize);
    return Read(echo, kBootstrapSize);
}

bool CDeviceLink::WaitForSignOn()
{
    uint8_t last = 0xFF;
    Read(&last, 1);
    for (int attempt = 0; attempt < kSignOnAttempts && last != kSignOn; ++attempt) {
        Read(&last, 1);
        Pause(200);
    }
    return last == kSignOn;
}

bool CDeviceLink::ClearRange(uint16_t start, uint16_t end)
{
    const uint8_t frame[] = {'F', High(start), Low(start), High(end), Low(end)};
    return SendAndExpect(frame, sizeof frame, kDone);
}

bool CDeviceLink::WriteBlock(const uint8_t* data, uint16_t address)
{
    uint8_t frame[3 + kBlockSize] = {'w', High(address), Low(address)};
    std::memcpy(frame + 3, data, kBlockSize);
    return SendAndExpect(frame, sizeof frame, kDone);
}

bool CDeviceLink::ReadBlock(uint16_t address, uint8_t* block)
{
    const uint8_t frame[] = {'r', High(address), Low(address)};
    Purge();
    return Write(frame, sizeof frame) && Read(block, kBlockSize);
}

void CDeviceLink::JumpTo(uint16_t address)
{
    // No purge and no answer: the secondary loader's ping confirms the jump.
    const uint8_t frame[] = {'G', High(address), Low(address)};
    Write(frame, sizeof frame);
}

bool CDeviceLink::PingLoader()
{
    const uint8_t frame = 'V';
    Purge();
    if (!Write(&frame, 1))
        return false;
    Pause(500);
    uint8_t reply = 0;
    return Read(&reply, 1) && reply == kLoaderAlive;
}

bool CDeviceLink::ReadFlashId(uint8_t* id)
{
    const uint8_t frame = 'G';
    Purge();
    return Write(&frame, 1) && Read(id, 3);
}

bool CDeviceLink::EraseBank(uint8_t bank)
{
    const uint8_t frame[] = {'E', bank};
    Purge();
    if (!Write(frame, sizeof frame))
        return false;
    Pause(2000);
    uint8_t reply = 0xFF;
    return Read(&reply, 1) && reply == 0x00;
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
    return SendAndExpect(frame, sizeof frame, 0x00);
}

bool CDeviceLink::QueryVersion(uint8_t* reply)
{
    const uint8_t frame[] = {0x02, 0x01, 0x20};
    Purge();
    return Write(frame, sizeof frame) && Read(reply, 10);
}
