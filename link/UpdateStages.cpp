// The four update stages: each stages its image, then drives the listener
// that runs in the device at that point.

#include "DeviceLink.h"
#include "DurationText.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kRequiredFlashDevice = 0x20;
constexpr uint32_t kFlashStart = 0x8000;
constexpr uint32_t kFlashEnd = 0x10000;
constexpr uint32_t kEepromFirst = 0xB600;
constexpr uint32_t kEepromLast = 0xB7FF;
constexpr uint8_t kFpgaBank = 2;
constexpr uint8_t kApplicationBank = 3;

} // namespace

const uint8_t* CDeviceLink::StagedPage(uint32_t page) const { return m_imageBuffer + (page - kFlashStart); }

// Pages holding nothing but 0xFF stay as the erase left them, and the pages
// in front of which the EEPROM with the device's settings sits are never sent.
bool CDeviceLink::PageIsSent(uint32_t page) const
{
    if (page >= kEepromFirst && page <= kEepromLast)
        return false;
    const uint8_t* data = StagedPage(page);
    for (uint32_t i = 0; i < kPageSize; ++i)
        if (data[i] != 0xFF)
            return true;
    return false;
}

uint32_t CDeviceLink::PagesToSend() const
{
    uint32_t pages = 0;
    for (uint32_t page = kFlashStart; page < kFlashEnd; page += kPageSize)
        pages += PageIsSent(page) ? 1 : 0;
    return pages;
}

bool CDeviceLink::StageImage(const FirmwareImage& firmware)
{
    m_szFailure[0] = '\0';
    ImageText image{};
    if (!FindImageText(m_imageSource, firmware.typeName, firmware.id, image) || !image.text)
        return Fail("image %s (%u) is missing from this program", firmware.typeName, firmware.id);
    std::memset(m_imageBuffer, firmware.fill, kImageBufferSize);
    // A malformed record only ends the image; the stage sends what was placed.
    ReadImage(image.text, image.length, m_imageBuffer, firmware.base, firmware.limit);
    return true;
}

bool CDeviceLink::EchoMatches(const uint8_t* echo)
{
    for (uint32_t i = 0; i < kBootstrapSize; ++i)
        if (echo[i] != m_imageBuffer[i])
            return Fail("echo differs at byte %u: sent 0x%02X, got 0x%02X", i, m_imageBuffer[i], echo[i]);
    return true;
}

bool CDeviceLink::LoadPrimaryBootstrap()
{
    m_szNote[0] = '\0';
    if (!StageImage(kBootOneImage))
        return false;
    Report(UpdateStage::PrimaryBootstrap, UpdateStep::Download, 0, 1);
    uint8_t echo[kBootstrapSize];
    bool ok =
        SetMode(kBootstrapLine) && DownloadBootstrap(m_imageBuffer, echo) && SetMode(kLoaderLine) && EchoMatches(echo);
    if (ok) {
        Report(UpdateStage::PrimaryBootstrap, UpdateStep::Download, 1, 1);
        Report(UpdateStage::PrimaryBootstrap, UpdateStep::SignOn, 0, 1);
        ok = WaitForSignOn();
    }
    if (ok)
        Report(UpdateStage::PrimaryBootstrap, UpdateStep::SignOn, 1, 1);
    Purge();
    return ok;
}

bool CDeviceLink::LoadSecondaryBootstrap()
{
    m_szNote[0] = '\0';
    if (!StageImage(kBootTwoImage))
        return false;
    if (!SetMode(kLoaderLine) || !ClearRange(kSecondaryStart, static_cast<uint16_t>(kSecondaryEnd)))
        return false;
    const UpdateStage stage = UpdateStage::SecondaryBootstrap;
    for (uint32_t i = 0; i < kSecondaryBlocks; ++i) {
        const auto address = static_cast<uint16_t>(kSecondaryStart + i * kBlockSize);
        if (!WriteBlock(m_imageBuffer + i * kBlockSize, address))
            return false;
        Report(stage, UpdateStep::Write, i + 1, kSecondaryBlocks);
    }
    // Read-back: an exchange that fails only ends it, but a block that came
    // back different from what was staged means the loader in the device's
    // RAM is not the one we sent, and starting it would run damaged code.
    uint32_t readBack = 0;
    for (; readBack < kSecondaryBlocks; ++readBack) {
        const auto address = static_cast<uint16_t>(kSecondaryStart + readBack * kBlockSize);
        uint8_t block[kBlockSize];
        if (!ReadBlock(address, block))
            break;
        if (std::memcmp(block, m_imageBuffer + readBack * kBlockSize, kBlockSize) != 0)
            return Fail("read-back of block 0x%04X differs from what was written", address);
        Report(stage, UpdateStep::Verify, readBack + 1, kSecondaryBlocks);
    }
    // Why the read-back ended, while the failure note still holds it.
    char cutShort[sizeof m_szFailure] = {};
    if (readBack < kSecondaryBlocks)
        std::snprintf(cutShort, sizeof cutShort, "%s", m_szFailure);
    Report(stage, UpdateStep::Start, 0, 1);
    JumpTo(kSecondaryStart);
    // Texts on the stack: the update makes no heap allocation.
    char pause[80];
    std::snprintf(pause, sizeof pause, "the %s pause after starting the secondary loader",
                  DurationText(kLoaderStartPauseMs).c_str());
    if (!Pause(kLoaderStartPauseMs, pause) || !PingLoader())
        return false;
    // The stage goes on as it always has; the outcome says what was not checked.
    if (readBack < kSecondaryBlocks)
        std::snprintf(m_szNote, sizeof m_szNote,
                      "only %u of %u blocks of the secondary loader were read back (%s); the loader then answered 'Y'",
                      readBack, kSecondaryBlocks, cutShort);
    Report(stage, UpdateStep::Start, 1, 1);
    return true;
}

bool CDeviceLink::LoadFlashImage(UpdateStage stage, const FirmwareImage& firmware, uint8_t bank)
{
    if (!StageImage(firmware))
        return false;
    uint8_t flashId[3] = {};
    if (!SetMode(kLoaderLine) || !ReadFlashId(flashId))
        return false;
    if (flashId[1] != kRequiredFlashDevice)
        return Fail("flash device code 0x%02X, expected 0x%02X", flashId[1], kRequiredFlashDevice);
    Report(stage, UpdateStep::Erase, 0, 1);
    if (!EraseBank(bank))
        return false;
    Report(stage, UpdateStep::Erase, 1, 1);

    const uint32_t pagesToSend = PagesToSend();

    uint32_t sent = 0;
    for (uint32_t page = kFlashStart; page < kFlashEnd; page += kPageSize) {
        if (!PageIsSent(page))
            continue;
        if (!ProgramPage(StagedPage(page), static_cast<uint16_t>(page), bank))
            return false;
        Report(stage, UpdateStep::Program, ++sent, pagesToSend);
    }
    SetLineMode(kRunLine); // back to the device's run mode; not part of the outcome
    return true;
}

bool CDeviceLink::LoadFpgaImage() { return LoadFlashImage(UpdateStage::FpgaImage, kXilinxDataImage, kFpgaBank); }

bool CDeviceLink::LoadApplication()
{
    return LoadFlashImage(UpdateStage::Application, kApplicationImage, kApplicationBank);
}
