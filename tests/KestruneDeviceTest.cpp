// The simulated device model the end-to-end tests rely on: if it let
// through what the real Kestrune would not, those tests would prove little.

#include "KestruneDevice.h"
#include "SyntheticFirmware.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Time = KestruneDevice::Time;

std::vector<uint8_t> Drain(KestruneDevice& device)
{
    std::vector<uint8_t> out;
    KestruneDevice::Emission emission{};
    while (device.TakeEmission(emission))
        out.push_back(emission.byte);
    return out;
}

void Send(KestruneDevice& device, const std::vector<uint8_t>& bytes, int16_t mode, Time at)
{
    for (uint8_t byte : bytes)
        device.Receive(byte, mode, at);
}

std::vector<uint8_t> PageFrame(uint16_t address, uint8_t bank, uint8_t value, int checksumDelta = 0)
{
    std::vector<uint8_t> frame = {'P', static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), bank, 0x80};
    frame.insert(frame.end(), 128, value);
    frame.push_back(static_cast<uint8_t>(value * 128 + checksumDelta));
    return frame;
}

// A device running its secondary loader, reached the honest way; now moves
// on past the loaders' start-up.
KestruneDevice SecondaryLoaderDevice(Time& now)
{
    KestruneDevice device;
    device.PowerOn(true, now);
    std::vector<uint8_t> program(256, 0x00);
    StoreIntegrityWord(program.data(), kPrimaryLoaderLayout);
    Send(device, {0xFF}, kBootstrapLine, now);
    Send(device, program, kBootstrapLine, now);
    EXPECT_EQ(device.CurrentListener(), Listener::PrimaryLoader);
    Drain(device);
    now += std::chrono::seconds(2);
    std::vector<uint8_t> loader(0x2000, 0x00);
    StoreIntegrityWord(loader.data(), kSecondaryLoaderLayout);
    for (uint32_t at = 0; at < 0x2000; at += 32) {
        std::vector<uint8_t> frame = {'w', static_cast<uint8_t>((0x6000 + at) >> 8), static_cast<uint8_t>(at)};
        frame.insert(frame.end(), loader.begin() + at, loader.begin() + at + 32);
        Send(device, frame, kLoaderLine, now);
    }
    Send(device, {'G', 0x60, 0x00}, kLoaderLine, now);
    EXPECT_EQ(device.CurrentListener(), Listener::SecondaryLoader);
    Drain(device);
    return device;
}

TEST(KestruneDevice, BootstrapRomListensOnlyAtItsLineSettingsAndRunsOnlyAnIntactLoader)
{
    const Time now = KestruneDevice::Clock::now();
    KestruneDevice device;
    device.PowerOn(true, now);
    Send(device, {0xFF}, kLoaderLine, now); // at 38400: not a download start
    Send(device, std::vector<uint8_t>(256, 0x00), kBootstrapLine, now);
    EXPECT_TRUE(Drain(device).empty());

    Send(device, {0xFF}, kBootstrapLine, now);
    Send(device, std::vector<uint8_t>(256, 0x11), kBootstrapLine, now); // no integrity word
    EXPECT_EQ(Drain(device), std::vector<uint8_t>(256, 0x11));
    EXPECT_EQ(device.CurrentListener(), Listener::Halted);
}

TEST(KestruneDevice, FlashProgrammingOnlyClearsBitsAndChecksItsChecksum)
{
    Time now = KestruneDevice::Clock::now();
    KestruneDevice device = SecondaryLoaderDevice(now);
    Send(device, {'E', 2}, kLoaderLine, now);
    EXPECT_EQ(Drain(device), std::vector<uint8_t>{0x00});
    const Time later = now + std::chrono::seconds(3);
    Send(device, PageFrame(0x8000, 2, 0x0F), kLoaderLine, later);
    Send(device, PageFrame(0x8000, 2, 0xF0), kLoaderLine, later + std::chrono::milliseconds(10));
    Send(device, PageFrame(0x8080, 2, 0x00, 1), kLoaderLine, later + std::chrono::milliseconds(20));
    EXPECT_EQ(Drain(device), (std::vector<uint8_t>{0x00, 0x01, 0xFF}));
    EXPECT_EQ(device.Bank(2)[0], 0x00);    // 0x0F & 0xF0: the second write could not set bits
    EXPECT_EQ(device.Bank(2)[0x80], 0xFF); // nothing programmed on a checksum mismatch
}

} // namespace
