// The application firmware: version queries in frames, answers to line
// errors, and the frame gap after which it gives up on a frame.
#include "KestruneDevice.h"

#include "SyntheticFirmware.h"

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
