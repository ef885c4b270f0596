// The primary and secondary loaders: their command frames, and the memory,
// flash and EEPROM those commands work on.
#include "KestruneDevice.h"

#include "SyntheticFirmware.h"

namespace {

constexpr uint16_t kSecondaryLoaderStart = 0x6000;

bool Unwritten(const Fault* fault) { return fault && fault->kind == FaultKind::Unwritten; }

} // namespace

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
    const Fault* fault = CountExchange(LoaderExchange(), now);
    if (!m_bCablePulled) {
        if (m_listener == Listener::PrimaryLoader)
            RunPrimaryCommand(fault, now);
        else
            RunSecondaryCommand(fault, now);
    }
    m_frame.clear();
}

Exchange KestruneDevice::LoaderExchange() const
{
    const uint8_t command = m_frame[0];
    if (m_listener == Listener::PrimaryLoader)
        return command == 'F'   ? Exchange::ClearRange
               : command == 'w' ? Exchange::WriteBlock
               : command == 'r' ? Exchange::ReadBlock
                                : Exchange::Jump;
    return command == 'V'   ? Exchange::Ping
           : command == 'G' ? Exchange::FlashId
           : command == 'E' ? Exchange::Erase
                            : Exchange::Program;
}

void KestruneDevice::RunPrimaryCommand(const Fault* fault, Time now)
{
    const uint16_t address = static_cast<uint16_t>(m_frame[1] << 8 | m_frame[2]);
    switch (m_frame[0]) {
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
        const bool loaderIntact = IsIntact(m_memory.data() + kSecondaryLoaderStart, kSecondaryLoaderLayout);
        m_listener = address == kSecondaryLoaderStart && loaderIntact ? Listener::SecondaryLoader : Listener::Halted;
        break;
    }
    }
}

void KestruneDevice::RunSecondaryCommand(const Fault* fault, Time now)
{
    switch (m_frame[0]) {
    case 'V': Answer(fault, {'Y'}, now); break;
    case 'G': Answer(fault, {kFlashManufacturer, m_flashDeviceCode, 0x00}, now); break;
    case 'E': {
        const uint8_t bank = m_frame[1];
        if (bank > 3) {
            Answer(fault, {0x01}, now);
            break;
        }
        if (!Unwritten(fault))
            m_flash[bank].fill(0xFF);
        m_busyUntil = now + m_timing.eraseTime;
        Answer(fault, {0x00}, m_busyUntil);
        break;
    }
    case 'P': Answer(fault, {Unwritten(fault) ? ProgramNothing(now) : ProgramPage(now)}, m_busyUntil); break;
    }
}

// A flash that takes nothing: the page's time passes and its success is
// reported, and not one cell changes.
uint8_t KestruneDevice::ProgramNothing(Time now)
{
    m_busyUntil = now + m_timing.byteProgramTime * m_frame[4];
    return 0x00;
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
