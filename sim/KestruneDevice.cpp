#include "KestruneDevice.h"

#include "SyntheticFirmware.h"

#include <algorithm>

namespace {

constexpr uint16_t kSecondaryLoaderStart = 0x6000;
constexpr uint8_t kGarbleMask = 0x5A; // what a byte at the wrong line settings turns into

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
    m_listener = IsIntact(m_flash[3].data(), kApplicationLayout) ? Listener::Application
                                                                   : Listener::Halted;
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

int8_t KestruneDevice::ListenerLine() const
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

void KestruneDevice::Emit(uint8_t byte, Time ready)
{
    m_out.push_back(Emission{byte, ready, ListenerLine()});
}

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
        }
    }
    for (uint8_t byte : bytes)
        Emit(byte, ready);
}

void KestruneDevice::Receive(uint8_t byte, int8_t hostMode, Time now)
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

void KestruneDevice::ReceiveBootstrap(uint8_t byte, bool garbled, Time now)
{
    if (!m_bDownloading) {
        if (!garbled && byte == 0xFF) {
            const Fault* fault = CountExchange(Exchange::Echo, now);
            if (m_bCablePulled)
                return;
            m_echoFault = fault ? std::optional<Fault>(*fault) : std::nullopt;
            m_bDownloading = true;
            m_downloaded = 0;
        }
        return;
    }
    const uint8_t stored = garbled ? byte ^ kGarbleMask : byte;
    m_memory[m_downloaded] = stored;
    uint8_t echo = stored;
    Time ready = now;
    bool silent = false;
    if (m_echoFault) {
        switch (m_echoFault->kind) {
        case FaultKind::Silence: silent = true; break;
        case FaultKind::Late: ready += std::chrono::milliseconds(m_echoFault->delayMs); break;
        case FaultKind::Nak: echo = m_echoFault->value; break;
        case FaultKind::CorruptByte:
            if (m_echoFault->index == m_downloaded)
                echo ^= 0x01;
            break;
        case FaultKind::CablePulled:
        case FaultKind::AdapterGone: break;
        }
    }
    if (!silent)
        Emit(echo, ready);
    if (++m_downloaded < 0x100)
        return;

    // The ROM starts what it was given at 0x0000.
    m_bDownloading = false;
    if (!IsIntact(m_memory.data(), kPrimaryLoaderLayout)) {
        m_listener = Listener::Halted;
        return;
    }
    m_listener = Listener::PrimaryLoader;
    m_frame.clear();
    m_busyUntil = now + m_timing.signOnDelay;
    Answer(CountExchange(Exchange::SignOn, now), {'X'}, m_busyUntil);
}

size_t KestruneDevice::LoaderFrameLength() const
{
    const uint8_t command = m_frame[0];
    if (m_listener == Listener::PrimaryLoader) {
        switch (command) {
        case 'F': return 5;
        case 'w': return 35;
        case 'r':
        case 'G': return 3;
        default: return 0;
        }
    }
    switch (command) {
    case 'V':
    case 'G': return 1;
    case 'E': return 2;
    case 'P': return m_frame.size() < 5 ? 5 : 6u + m_frame[4];
    default: return 0;
    }
}

void KestruneDevice::ReceiveLoaderByte(uint8_t byte, Time now)
{
    m_frame.push_back(byte);
    const size_t length = LoaderFrameLength();
    if (length == 0) { // not a command: ignored without a reply
        m_frame.clear();
        return;
    }
    if (m_frame.size() < length || (m_frame[0] == 'P' && m_frame.size() == 5 && length > 5))
        return;
    if (m_listener == Listener::PrimaryLoader)
        RunPrimaryCommand(now);
    else
        RunSecondaryCommand(now);
    m_frame.clear();
}

void KestruneDevice::RunPrimaryCommand(Time now)
{
    const uint16_t address = static_cast<uint16_t>(m_frame[1] << 8 | m_frame[2]);
    const uint8_t command = m_frame[0];
    const Exchange exchange = command == 'F'   ? Exchange::ClearRange
                              : command == 'w' ? Exchange::WriteBlock
                              : command == 'r' ? Exchange::ReadBlock
                                               : Exchange::Jump;
    const Fault* fault = CountExchange(exchange, now);
    if (m_bCablePulled)
        return;
    switch (command) {
    case 'F': {
        const uint32_t end = static_cast<uint32_t>(m_frame[3] << 8 | m_frame[4]);
        for (uint32_t a = address; a < end; ++a)
            m_memory[a] = 0x00;
        Answer(fault, {'D'}, now);
        break;
    }
    case 'w':
        for (uint32_t i = 0; i < 32; ++i)
            m_memory[(address + i) & 0xFFFF] = m_frame[3 + i];
        Answer(fault, {'D'}, now);
        break;
    case 'r': {
        std::vector<uint8_t> block(32);
        for (uint32_t i = 0; i < 32; ++i)
            block[i] = m_memory[(address + i) & 0xFFFF];
        Answer(fault, std::move(block), now);
        break;
    }
    case 'G': {
        const bool loaderIntact =
            IsIntact(m_memory.data() + kSecondaryLoaderStart, kSecondaryLoaderLayout);
        m_listener = address == kSecondaryLoaderStart && loaderIntact ? Listener::SecondaryLoader
                                                                      : Listener::Halted;
        break;
    }
    }
}

void KestruneDevice::RunSecondaryCommand(Time now)
{
    const uint8_t command = m_frame[0];
    const Exchange exchange = command == 'V'   ? Exchange::Ping
                              : command == 'G' ? Exchange::FlashId
                              : command == 'E' ? Exchange::Erase
                                               : Exchange::Program;
    const Fault* fault = CountExchange(exchange, now);
    if (m_bCablePulled)
        return;
    switch (command) {
    case 'V': Answer(fault, {'Y'}, now); break;
    case 'G': Answer(fault, {kFlashManufacturer, m_flashDeviceCode, 0x00}, now); break;
    case 'E': {
        const uint8_t bank = m_frame[1];
        if (bank > 3) {
            Answer(fault, {0x01}, now);
            break;
        }
        m_flash[bank].fill(0xFF);
        m_busyUntil = now + m_timing.eraseTime;
        Answer(fault, {0x00}, m_busyUntil);
        break;
    }
    case 'P': Answer(fault, {ProgramPage(now)}, m_busyUntil); break;
    }
}

uint8_t KestruneDevice::ProgramPage(Time now)
{
    const uint32_t address = static_cast<uint32_t>(m_frame[1] << 8 | m_frame[2]) | 0x8000;
    const uint8_t bank = m_frame[3];
    const uint32_t count = m_frame[4];
    const uint8_t* data = m_frame.data() + 5;
    uint8_t sum = 0;
    for (uint32_t i = 0; i < count; ++i)
        sum = static_cast<uint8_t>(sum + data[i]);
    m_busyUntil = now;
    if (sum != m_frame[5 + count])
        return 0xFF;
    if (bank > 3)
        return 0x01;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t at = address + i;
        if (at > 0xFFFF)
            return 0x01;
        m_busyUntil += m_timing.byteProgramTime;
        if (at >= kEepromFirst && at <= kEepromLast) {
            // The EEPROM sits in front of the flash here: the settings go.
            m_eeprom[at - kEepromFirst] = data[i];
            continue;
        }
        uint8_t& cell = m_flash[bank][at - 0x8000];
        cell &= data[i]; // programming only clears bits
        if (cell != data[i])
            return 0x01;
    }
    return 0x00;
}

void KestruneDevice::ReceiveApplication(uint8_t byte, bool garbled, Time now)
{
    // After a line error the application answers once and drops what
    // follows until the line has been quiet for a frame gap.
    if (garbled || m_bDiscarding) {
        if (!m_bDiscarding)
            SendErrorFrame(0x01, now);
        m_bDiscarding = true;
        m_frame.clear();
        m_frameDeadline = now + m_timing.frameGap;
        return;
    }
    if (m_frame.empty() && byte != 0x02)
        return;
    m_frame.push_back(byte);
    m_frameDeadline = now + m_timing.frameGap;
    if (m_frame.size() < 2 || m_frame.size() < 2u + m_frame[1])
        return;
    if (m_frame[1] == 1 && m_frame[2] == 0x20) {
        const Fault* fault = CountExchange(Exchange::Version, now);
        if (!m_bCablePulled) {
            const uint8_t* stored = m_flash[3].data() + (kVersionFrameAddress - 0x8000);
            Answer(fault, std::vector<uint8_t>(stored, stored + kVersionFrameLength), now);
        }
    } else {
        SendErrorFrame(0x02, now);
    }
    m_frame.clear();
}

void KestruneDevice::SendErrorFrame(uint8_t code, Time now)
{
    for (uint8_t byte : {uint8_t{0x02}, uint8_t{0x02}, uint8_t{0x15}, code})
        Emit(byte, now);
}

void KestruneDevice::Tick(Time now)
{
    if (m_listener != Listener::Application || now < m_frameDeadline)
        return;
    m_bDiscarding = false;
    if (!m_frame.empty()) {
        m_frame.clear();
        SendErrorFrame(0x03, now); // incomplete frame
    }
}

std::optional<KestruneDevice::Time> KestruneDevice::NextDeadline() const
{
    if (m_listener == Listener::Application && (!m_frame.empty() || m_bDiscarding))
        return m_frameDeadline;
    return std::nullopt;
}

bool KestruneDevice::TakeEmission(Emission& out)
{
    if (m_out.empty() || m_bCablePulled)
        return false;
    out = m_out.front();
    m_out.pop_front();
    return true;
}
