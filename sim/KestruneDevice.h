#pragma once
// The Kestrune as its serial line sees it: the bootstrap ROM, the primary
// and secondary loaders and the application firmware, with the memories
// they work on. Pure logic: bytes go in with a time stamp, timed bytes
// come out; SimulatedKestrune carries them over a pseudo-terminal.

#include "DeviceFaults.h"
#include "LineModes.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

enum class Listener : uint8_t { Off, BootstrapRom, PrimaryLoader, SecondaryLoader, Application, Halted };

const char* ListenerName(Listener listener);

struct DeviceTiming {
    std::chrono::milliseconds signOnDelay{1000};
    std::chrono::milliseconds eraseTime{1200};
    std::chrono::microseconds byteProgramTime{20};
    std::chrono::milliseconds frameGap{20}; // application gives up on a frame
};

class KestruneDevice {
public:
    using Clock = std::chrono::steady_clock;
    using Time = Clock::time_point;

    struct Emission {
        uint8_t byte;
        Time ready;
        int16_t lineMode; // the line mode the byte is sent in
    };

    static constexpr uint32_t kBankSize = 0x8000;
    static constexpr uint32_t kEepromSize = 0x200;
    static constexpr uint8_t kFlashManufacturer = 0x01;
    static constexpr uint8_t kFlashDevice = 0x20;

    KestruneDevice();

    void PowerOn(bool holdSet, Time now);
    void PowerOff();

    void AddFault(const Fault& fault) { m_faults.push_back(fault); }
    // Occurrences of exchanges count from here on.
    void ClearFaults()
    {
        m_faults.clear();
        m_counts.fill(0);
    }
    void ReconnectCable() { m_bCablePulled = m_bAdapterGone = false; }
    bool CablePulled() const { return m_bCablePulled; }
    // The host's adapter was unplugged: its carrier must drop the port.
    bool AdapterGone() const { return m_bAdapterGone; }
    void SetFlashDeviceCode(uint8_t code) { m_flashDeviceCode = code; }
    DeviceTiming& Timing() { return m_timing; }

    // A byte that arrived at `now` while the host's line was in hostMode.
    void Receive(uint8_t byte, int16_t hostMode, Time now);
    // Lets time-outs inside the device run.
    void Tick(Time now);
    std::optional<Time> NextDeadline() const;
    bool TakeEmission(Emission& out);

    // A whole frame of the host's, as the device took it: the exchange it
    // counts as (the bootstrap ROM's start byte as the echo, the download as
    // the sign-on) and when its last byte arrived.
    struct HostFrame {
        Exchange exchange;
        Time end;
    };
    // The frame the last Receive completed, once.
    std::optional<HostFrame> TakeHostFrame() { return std::exchange(m_takenFrame, std::nullopt); }

    Listener CurrentListener() const { return m_listener; }
    const std::array<uint8_t, kBankSize>& Bank(int bank) const { return m_flash[bank]; }
    std::array<uint8_t, kBankSize>& Bank(int bank) { return m_flash[bank]; }
    const std::array<uint8_t, kEepromSize>& Eeprom() const { return m_eeprom; }
    const std::vector<uint8_t>& Memory() const { return m_memory; }
    bool FpgaConfigured() const { return m_bFpgaConfigured; }
    // The version text the application firmware in bank 3 reports, or empty.
    std::string FirmwareVersion() const;
    uint32_t ExchangeCount(Exchange exchange) const { return m_counts[static_cast<int>(exchange)]; }
    // Every byte that reached the device's connector, whoever was listening.
    uint64_t BytesReceived() const { return m_bytesReceived; }

private:
    static constexpr uint8_t kGarbleMask = 0x5A; // what a byte at the wrong line settings turns into

    int16_t ListenerLine() const;
    const Fault* CountExchange(Exchange exchange, Time now);
    void Answer(const Fault* fault, std::vector<uint8_t> bytes, Time ready);
    void Emit(uint8_t byte, Time ready);
    void ReceiveBootstrap(uint8_t byte, bool garbled, Time now);
    void ReceiveLoaderByte(uint8_t byte, Time now);
    size_t LoaderFrameLength() const;
    Exchange LoaderExchange() const;
    void RunPrimaryCommand(const Fault* fault, Time now);
    void RunSecondaryCommand(const Fault* fault, Time now);
    uint8_t ProgramPage(Time now);
    uint8_t ProgramNothing(Time now);
    void ReceiveApplication(uint8_t byte, bool garbled, Time now);
    void SendErrorFrame(uint8_t code, Time now);

    Listener m_listener = Listener::Off;
    DeviceTiming m_timing;
    std::array<std::array<uint8_t, kBankSize>, 4> m_flash{};
    std::array<uint8_t, kEepromSize> m_eeprom{};
    std::vector<uint8_t> m_memory; // 64 KB address space of the loaders
    bool m_bFpgaConfigured = false;
    uint8_t m_flashDeviceCode = kFlashDevice;

    // bootstrap ROM
    bool m_bDownloading = false;
    uint32_t m_downloaded = 0;
    std::optional<Fault> m_echoFault;

    std::vector<uint8_t> m_frame;
    Time m_busyUntil{};
    Time m_frameDeadline{};
    bool m_bDiscarding = false; // application: dropping bytes after a line error

    std::deque<Emission> m_out;
    std::optional<HostFrame> m_takenFrame;
    std::vector<Fault> m_faults;
    std::array<uint32_t, 11> m_counts{};
    bool m_bCablePulled = false;
    bool m_bAdapterGone = false;
    uint64_t m_bytesReceived = 0;
};
