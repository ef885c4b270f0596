#pragma once
// The one object through which the updater talks to the Kestrune: the
// serial channel, the S-record reader, every exchange of the loader
// protocol and the four update stages.

#include "SRecordReader.h"
#include "SerialChannel.h"

#include <cstdint>
#include <functional>

struct FirmwareImage;

// Where a running stage has got to, for a progress display.
struct StageProgress {
    int stage;      // 1 to 4
    const char* step;
    uint32_t done;
    uint32_t total;
};

class CDeviceLink : public CSerialChannel, public CSRecordReader {
public:
    // Exchanges with the bootstrap ROM.
    bool DownloadBootstrap(const uint8_t* program, uint8_t* echo);
    // Exchanges with the primary loader.
    bool WaitForSignOn();
    bool ClearRange(uint16_t start, uint16_t end);
    bool WriteBlock(const uint8_t* data, uint16_t address);
    bool ReadBlock(uint16_t address, uint8_t* block);
    void JumpTo(uint16_t address);
    // Exchanges with the secondary loader.
    bool PingLoader();
    bool ReadFlashId(uint8_t* id);
    bool EraseBank(uint8_t bank);
    bool ProgramPage(const uint8_t* data, uint16_t address, uint8_t bank);
    // Exchange with the application firmware.
    bool QueryVersion(uint8_t* reply);

    // The update stages, to be run in this order.
    bool LoadPrimaryBootstrap();
    bool LoadSecondaryBootstrap();
    bool LoadFpgaImage();
    bool LoadApplication();

    void SetProgressObserver(std::function<void(const StageProgress&)> observer)
    {
        m_progressObserver = std::move(observer);
    }

    static constexpr uint32_t kBootstrapSize = 256;
    static constexpr uint32_t kBlockSize = 32;
    static constexpr uint32_t kPageSize = 128;

private:
    bool SendAndExpect(const uint8_t* frame, uint32_t length, uint8_t success);
    bool StageImage(const FirmwareImage& firmware);
    bool LoadFlashImage(int stage, const FirmwareImage& firmware, uint8_t bank);
    void Report(int stage, const char* step, uint32_t done, uint32_t total);

    std::function<void(const StageProgress&)> m_progressObserver;
};
