// The bootstrap ROM: takes the primary loader byte by byte, echoing each, and
// starts it once all of it has come.
#include "KestruneDevice.h"

#include "SyntheticFirmware.h"

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
        case FaultKind::AdapterGone:
        case FaultKind::Unwritten: break;
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
