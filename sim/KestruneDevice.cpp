// Power, faults and what the device sends; the bootstrap ROM, the loaders and
// the application firmware each take the host's bytes in a file of their own.
#include "KestruneDevice.h"

#include "SyntheticFirmware.h"

#include <algorithm>

namespace {

// The firmware the device leaves the factory with, older than the updater's.
void InstallFactoryFirmware(std::array<std::array<uint8_t, KestruneDevice::kBankSize>, 4>& flash)
{
    uint32_t seed = 0x4B5A2026u;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        return static_cast<uint8_t>(seed);
    };
    for (int bank = 0; bank < 2; ++bank)
        for (auto& byte : flash[bank])
            byte = next();
    for (int bank = 2; bank < 4; ++bank)
        flash[bank].fill(0xFF);
    for (uint32_t i = 0x3800; i < 0x5000; ++i)
        flash[2][i] = next();
    StoreIntegrityWord(flash[2].data(), kFpgaLayout);
    const uint8_t version[] = {0x02, 0x08, 0x20, '4', '.', '2', '.', '1', 0x01, 0x2A};
    std::copy(std::begin(version), std::end(version), flash[3].begin());
    for (uint32_t i = 0x0100; i < 0x3000; ++i)
        flash[3][i] = next();
    StoreIntegrityWord(flash[3].data(), kApplicationLayout);
}

} // namespace

const char* ListenerName(Listener listener)
{
    switch (listener) {
    case Listener::Off: return "off";
    case Listener::BootstrapRom: return "bootstrap ROM";
    case Listener::PrimaryLoader: return "primary loader";
    case Listener::SecondaryLoader: return "secondary loader";
    case Listener::Application: return "application";
    case Listener::Halted: return "halted";
    }
    return "?";
}

KestruneDevice::KestruneDevice() : m_memory(0x10000, 0)
{
    InstallFactoryFirmware(m_flash);
    for (uint32_t i = 0; i < kEepromSize; ++i)
        m_eeprom[i] = static_cast<uint8_t>(i * 7 + 3);
}

void KestruneDevice::PowerOn(bool holdSet, Time now)
{
    PowerOff();
    std::fill(m_memory.begin(), m_memory.end(), 0);
    m_busyUntil = now;
    if (holdSet) {
        m_listener = Listener::BootstrapRom;
        return;
    }
    // The application configures the FPGA from bank 2 at every start.
    m_bFpgaConfigured = IsIntact(m_flash[2].data(), kFpgaLayout);
    m_listener = IsIntact(m_flash[3].data(), kApplicationLayout) ? Listener::Application : Listener::Halted;
}

void KestruneDevice::PowerOff()
{
    m_listener = Listener::Off;
    m_bFpgaConfigured = false;
    m_bDownloading = false;
    m_downloaded = 0;
    m_echoFault.reset();
    m_bDiscarding = false;
    m_frame.clear();
    m_out.clear();
    m_takenFrame.reset();
}

std::string KestruneDevice::FirmwareVersion() const
{
    if (!IsIntact(m_flash[3].data(), kApplicationLayout))
        return {};
    const uint8_t* frame = m_flash[3].data() + (kVersionFrameAddress - 0x8000);
    return std::string(frame + 3, frame + 8);
}

int16_t KestruneDevice::ListenerLine() const
{
    switch (m_listener) {
    case Listener::BootstrapRom: return kBootstrapLine;
    case Listener::PrimaryLoader:
    case Listener::SecondaryLoader: return kLoaderLine;
    case Listener::Application: return kRunLine;
    default: return kUnknownLine;
    }
}

const Fault* KestruneDevice::CountExchange(Exchange exchange, Time now)
{
    m_takenFrame = HostFrame{exchange, now};
    const uint32_t count = ++m_counts[static_cast<int>(exchange)];
    for (const Fault& fault : m_faults)
        if (fault.at == exchange && (fault.occurrence == 0 || fault.occurrence == count)) {
            if (fault.kind == FaultKind::CablePulled || fault.kind == FaultKind::AdapterGone) {
                m_bCablePulled = true;
                m_bAdapterGone = fault.kind == FaultKind::AdapterGone;
                m_out.clear();
            }
            return &fault;
        }
    return nullptr;
}

void KestruneDevice::Emit(uint8_t byte, Time ready) { m_out.push_back(Emission{byte, ready, ListenerLine()}); }

void KestruneDevice::Answer(const Fault* fault, std::vector<uint8_t> bytes, Time ready)
{
    if (fault) {
        switch (fault->kind) {
        case FaultKind::Silence:
        case FaultKind::CablePulled:
        case FaultKind::AdapterGone: return;
        case FaultKind::Late: ready += std::chrono::milliseconds(fault->delayMs); break;
        case FaultKind::Nak: bytes[0] = fault->value; break;
        case FaultKind::CorruptByte: bytes[fault->index % bytes.size()] ^= 0x01; break;
        case FaultKind::Unwritten: break; // the command did nothing, and says it did
        }
    }
    for (uint8_t byte : bytes)
        Emit(byte, ready);
}

void KestruneDevice::Receive(uint8_t byte, int16_t hostMode, Time now)
{
    ++m_bytesReceived;
    if (m_bCablePulled || m_listener == Listener::Off || m_listener == Listener::Halted)
        return;
    const bool garbled = hostMode != ListenerLine();
    switch (m_listener) {
    case Listener::BootstrapRom: ReceiveBootstrap(byte, garbled, now); break;
    case Listener::PrimaryLoader:
    case Listener::SecondaryLoader:
        // A loader busy with a command, or not yet signed on, hears nothing.
        if (now >= m_busyUntil)
            ReceiveLoaderByte(garbled ? byte ^ kGarbleMask : byte, now);
        break;
    case Listener::Application: ReceiveApplication(byte, garbled, now); break;
    default: break;
    }
}

bool KestruneDevice::TakeEmission(Emission& out)
{
    if (m_out.empty() || m_bCablePulled)
        return false;
    out = m_out.front();
    m_out.pop_front();
    return true;
}
