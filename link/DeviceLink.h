#pragma once
// The one object through which the updater talks to the Kestrune: the
// serial channel, the S-record reader, every exchange of the loader
// protocol and the four update stages.

#include "FirmwareImages.h"
#include "ImageBuffer.h"
#include "LinkObserver.h"
#include "ProtocolFacts.h"
#include "SRecordReader.h"
#include "SerialChannel.h"

#include <cstdint>

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

    // Where the stages find their images; by default those the program carries.
    void SetImageSource(const ImageSource& source) { m_imageSource = source; }
    // Staged into the buffer as its stage would, without the device.
    bool StageImage(const FirmwareImage& firmware);
    const uint8_t* StagedImage() const { return m_imageBuffer; }
    // Of a flash image in the staging buffer: whether the page at this
    // device address is sent, and how many are.
    bool PageIsSent(uint32_t page) const;
    uint32_t PagesToSend() const;

    void SetObserver(LinkObserver* observer) { m_pObserver = observer; }
    // Which exchange failed last and how, in a line for a person; empty
    // until something failed. The stages' results do not depend on it.
    const char* FailureDetail() const { return m_szFailure; }
    // What a person should know of a run that succeeded all the same, in a
    // line: that the secondary loader was only partly read back before it
    // answered. Empty when there is nothing to add; valid after a run.
    const char* OutcomeNote() const { return m_szNote; }

private:
    // One exchange's halves: each tells the observer and notes a failure.
    bool Send(const ExchangeLabel& exchange, const uint8_t* frame, uint32_t length);
    bool Receive(const ExchangeLabel& exchange, uint8_t* reply, uint32_t length);
    // Words for what a failure reply means, or "".
    using ReplyMeaning = const char* (*)(uint8_t reply);
    bool SendAndExpect(const ExchangeLabel& exchange, const uint8_t* frame, uint32_t length, uint8_t success,
                       ReplyMeaning meaning = nullptr);
    bool Expect(const ExchangeLabel& exchange, uint8_t reply, uint8_t success, ReplyMeaning meaning = nullptr);
    bool StopRequested() const;
    // Sleeps ms; false, with the failure noted, when a stop came meanwhile.
    bool Pause(uint32_t ms, const char* during);
    bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));

    bool SetMode(int16_t mode);
    bool EchoMatches(const uint8_t* echo);
    bool LoadFlashImage(UpdateStage stage, const FirmwareImage& firmware, uint8_t bank);
    void Report(UpdateStage stage, UpdateStep step, uint32_t done, uint32_t total);

    const uint8_t* StagedPage(uint32_t page) const;

    LinkObserver* m_pObserver = nullptr;
    char m_szFailure[160] = {};
    char m_szNote[320] = {};
    ImageSource m_imageSource;
    // One image at a time: offset k stands for device address base + k of
    // the current stage's window.
    uint8_t m_imageBuffer[kImageBufferSize] = {};
};
