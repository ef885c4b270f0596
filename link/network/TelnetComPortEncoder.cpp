// What the client sends: the opening, the line settings, the purge, and serial
// data with IAC doubled.
#include "TelnetComPort.h"

#include "TelnetComPortCodes.h"

namespace {

// Stop bits from the Win32 numbering (one, one and a half, two) to RFC 2217's.
constexpr uint8_t kStopSizes[3] = {1, 3, 2};

uint32_t PutSubnegotiation(uint8_t* out, uint8_t command, const uint8_t* value, uint32_t length)
{
    uint32_t n = 0;
    out[n++] = kIac;
    out[n++] = kSb;
    out[n++] = kComPortOption;
    out[n++] = command;
    n += TelnetComPortCodec::EncodeData(value, length, out + n);
    out[n++] = kIac;
    out[n++] = kSe;
    return n;
}

} // namespace

uint32_t TelnetComPortCodec::EncodeOpening(uint8_t* out)
{
    uint32_t n = 0;
    for (int slot = 0; slot < 3; ++slot) {
        const uint8_t option = kSlotOptions[slot];
        if (m_aLocal[slot] == Stance::No) {
            m_aLocal[slot] = Stance::WantYes;
            out[n++] = kIac;
            out[n++] = kWill;
            out[n++] = option;
        }
        if (slot != kComPortSlot && m_aRemote[slot] == Stance::No) {
            m_aRemote[slot] = Stance::WantYes;
            out[n++] = kIac;
            out[n++] = kDo;
            out[n++] = option;
        }
    }
    m_bOpeningSent = true;
    return n;
}

uint32_t TelnetComPortCodec::EncodeSettings(uint32_t baudRate, uint8_t dataBits, uint8_t parity, uint8_t stopBits,
                                            uint8_t* out)
{
    if (parity > 4 || stopBits > 2)
        return 0;
    const uint8_t asked[3] = {dataBits, static_cast<uint8_t>(parity + 1), kStopSizes[stopBits]};
    m_aAsked[static_cast<int>(Setting::BaudRate)] = baudRate;
    for (int setting = static_cast<int>(Setting::BaudRate); setting <= static_cast<int>(Setting::StopSize); ++setting)
        ++m_aOutstanding[setting];
    for (int i = 0; i < 3; ++i)
        m_aAsked[static_cast<int>(Setting::DataSize) + i] = asked[i];
    m_nConfirmed = 0;
    m_refusal = Refusal{Setting::None, 0, 0, true};
    const uint8_t baud[4] = {static_cast<uint8_t>(baudRate >> 24), static_cast<uint8_t>(baudRate >> 16),
                             static_cast<uint8_t>(baudRate >> 8), static_cast<uint8_t>(baudRate)};
    uint32_t n = PutSubnegotiation(out, kSetBaudRate, baud, 4);
    n += PutSubnegotiation(out + n, kSetDataSize, &asked[0], 1);
    n += PutSubnegotiation(out + n, kSetParity, &asked[1], 1);
    n += PutSubnegotiation(out + n, kSetStopSize, &asked[2], 1);
    return n;
}

uint32_t TelnetComPortCodec::EncodePurge(uint8_t* out)
{
    ++m_nPurgesOutstanding;
    m_bPurgeConfirmed = false;
    return PutSubnegotiation(out, kPurgeData, &kPurgeReceiveBuffer, 1);
}

uint32_t TelnetComPortCodec::EncodeData(const uint8_t* data, uint32_t count, uint8_t* out)
{
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; ++i) {
        out[n++] = data[i];
        if (data[i] == kIac)
            out[n++] = kIac;
    }
    return n;
}
