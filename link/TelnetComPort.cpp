#include "TelnetComPort.h"

namespace {

constexpr uint8_t kIac = 255;
constexpr uint8_t kDont = 254;
constexpr uint8_t kDo = 253;
constexpr uint8_t kWont = 252;
constexpr uint8_t kWill = 251;
constexpr uint8_t kSb = 250;
constexpr uint8_t kSe = 240;

constexpr uint8_t kBinary = 0;
constexpr uint8_t kSuppressGoAhead = 3;
constexpr uint8_t kComPortOption = 44;
constexpr uint8_t kSlotOptions[3] = {kBinary, kSuppressGoAhead, kComPortOption};

// COM-PORT-OPTION commands; the server answers each with the command + 100.
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kSetDataSize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetStopSize = 4;
constexpr uint8_t kPurgeData = 12;
constexpr uint8_t kServerReply = 100;
constexpr uint8_t kPurgeBoth = 3;

// Stop bits from the Win32 numbering (one, one and a half, two) to RFC 2217's.
constexpr uint8_t kStopSizes[3] = {1, 3, 2};

int SlotOf(uint8_t option)
{
    for (int slot = 0; slot < 3; ++slot)
        if (kSlotOptions[slot] == option)
            return slot;
    return -1;
}

uint32_t PutSubnegotiation(uint8_t* out, uint8_t command, const uint8_t* value, uint32_t length)
{
    uint32_t n = 0;
    out[n++] = kIac;
    out[n++] = kSb;
    out[n++] = kComPortOption;
    out[n++] = command;
    n += CTelnetComPortCodec::EncodeData(value, length, out + n);
    out[n++] = kIac;
    out[n++] = kSe;
    return n;
}

} // namespace

uint32_t CTelnetComPortCodec::EncodeOpening(uint8_t* out)
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

uint32_t CTelnetComPortCodec::EncodeSettings(uint32_t baudRate, uint8_t dataBits, uint8_t parity, uint8_t stopBits,
                                             uint8_t* out)
{
    if (parity > 4 || stopBits > 2)
        return 0;
    m_dwAskedBaudRate = baudRate;
    m_aAsked[0] = dataBits;
    m_aAsked[1] = static_cast<uint8_t>(parity + 1);
    m_aAsked[2] = kStopSizes[stopBits];
    m_nConfirmed = 0;
    const uint8_t baud[4] = {static_cast<uint8_t>(baudRate >> 24), static_cast<uint8_t>(baudRate >> 16),
                             static_cast<uint8_t>(baudRate >> 8), static_cast<uint8_t>(baudRate)};
    uint32_t n = PutSubnegotiation(out, kSetBaudRate, baud, 4);
    n += PutSubnegotiation(out + n, kSetDataSize, &m_aAsked[0], 1);
    n += PutSubnegotiation(out + n, kSetParity, &m_aAsked[1], 1);
    n += PutSubnegotiation(out + n, kSetStopSize, &m_aAsked[2], 1);
    return n;
}

uint32_t CTelnetComPortCodec::EncodePurge(uint8_t* out)
{
    m_bPurgeConfirmed = false;
    return PutSubnegotiation(out, kPurgeData, &kPurgeBoth, 1);
}

uint32_t CTelnetComPortCodec::EncodeData(const uint8_t* data, uint32_t count, uint8_t* out)
{
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; ++i) {
        out[n++] = data[i];
        if (data[i] == kIac)
            out[n++] = kIac;
    }
    return n;
}

CTelnetComPortCodec::Decoded CTelnetComPortCodec::Decode(const uint8_t* in, uint32_t count, uint8_t* data)
{
    Decoded result{0, 0};
    // Every byte can complete an option request, whose answer must fit.
    for (; result.consumed < count && m_nReplies + 3 <= kReplyQueueBytes; ++result.consumed) {
        const uint8_t byte = in[result.consumed];
        switch (m_eState) {
        case State::Data:
            if (byte == kIac)
                m_eState = State::Command;
            else
                data[result.data++] = byte;
            break;
        case State::Command:
            if (byte == kIac) {
                data[result.data++] = byte;
                m_eState = State::Data;
            } else {
                OnCommand(byte);
            }
            break;
        case State::Option:
            m_eState = State::Data;
            OnOption(m_nVerb, byte);
            break;
        case State::Subnegotiation:
            if (byte == kIac)
                m_eState = State::SubnegotiationCommand;
            else
                Collect(byte);
            break;
        case State::SubnegotiationCommand:
            if (byte == kIac) {
                m_eState = State::Subnegotiation;
                Collect(byte);
            } else if (byte == kSe) {
                m_eState = State::Data;
                if (!m_bSubTooLong)
                    OnSubnegotiation();
            } else {
                // The SE went missing: the subnegotiation is dropped and the
                // command taken, so the stream does not stay swallowed.
                OnCommand(byte);
            }
            break;
        }
    }
    return result;
}

void CTelnetComPortCodec::OnCommand(uint8_t command)
{
    m_eState = State::Data;
    if (command == kSb) {
        m_eState = State::Subnegotiation;
        m_nSubLength = 0;
        m_bSubTooLong = false;
    } else if (command >= kWill) { // WILL, WONT, DO, DONT
        m_nVerb = command;
        m_eState = State::Option;
    }
    // NOP, GA, DM and the rest mean nothing for a serial line.
}

void CTelnetComPortCodec::OnOption(uint8_t verb, uint8_t option)
{
    // DO and DONT are about what we do, WILL and WONT about what the server does.
    const bool ours = verb == kDo || verb == kDont;
    const bool positive = verb == kDo || verb == kWill;
    const uint8_t yes = ours ? kWill : kDo;
    const uint8_t no = ours ? kWont : kDont;
    const int slot = SlotOf(option);
    if (slot < 0 || (!ours && slot == kComPortSlot)) {
        // Refused, and staying so: a refusal only ever answers a request.
        if (positive)
            Reply(no, option);
        return;
    }
    Stance& stance = ours ? m_aLocal[slot] : m_aRemote[slot];
    // Answer only a change the server made on its own; an answer to our own
    // request, or a repeat of what holds, goes unanswered, so nothing loops.
    if (positive && stance == Stance::No)
        Reply(yes, option);
    else if (!positive && stance == Stance::Yes)
        Reply(no, option);
    stance = positive ? Stance::Yes : Stance::No;
}

void CTelnetComPortCodec::Collect(uint8_t byte)
{
    if (m_nSubLength < kMaxSubnegotiation)
        m_aSub[m_nSubLength++] = byte;
    else
        m_bSubTooLong = true;
}

void CTelnetComPortCodec::OnSubnegotiation()
{
    if (m_nSubLength < 2 || m_aSub[0] != kComPortOption)
        return;
    const uint8_t* value = m_aSub + 2;
    const uint32_t length = m_nSubLength - 2;
    const bool oneByte = length == 1;
    switch (m_aSub[1]) {
    case kServerReply + kSetBaudRate:
        Confirm(Setting::BaudRate, length == 4 && (uint32_t{value[0]} << 24 | uint32_t{value[1]} << 16 |
                                                   uint32_t{value[2]} << 8 | value[3]) == m_dwAskedBaudRate);
        break;
    case kServerReply + kSetDataSize:
        Confirm(Setting::DataSize, oneByte && value[0] == m_aAsked[0]);
        break;
    case kServerReply + kSetParity:
        Confirm(Setting::Parity, oneByte && value[0] == m_aAsked[1]);
        break;
    case kServerReply + kSetStopSize:
        Confirm(Setting::StopSize, oneByte && value[0] == m_aAsked[2]);
        break;
    case kServerReply + kPurgeData:
        m_bPurgeConfirmed = oneByte && value[0] == kPurgeBoth;
        break;
    default:
        // Signature, line and modem state, flow control: nothing to act on.
        break;
    }
}

void CTelnetComPortCodec::Reply(uint8_t verb, uint8_t option)
{
    m_aReplies[m_nReplies++] = kIac;
    m_aReplies[m_nReplies++] = verb;
    m_aReplies[m_nReplies++] = option;
}

void CTelnetComPortCodec::Confirm(Setting setting, bool matches)
{
    const auto bit = static_cast<uint8_t>(1u << static_cast<int>(setting));
    m_nConfirmed = matches ? m_nConfirmed | bit : m_nConfirmed & ~bit;
}

CTelnetComPortCodec::Setting CTelnetComPortCodec::FirstUnconfirmed() const
{
    for (int setting = static_cast<int>(Setting::BaudRate); setting <= static_cast<int>(Setting::StopSize); ++setting)
        if (!(m_nConfirmed & (1u << setting)))
            return static_cast<Setting>(setting);
    return Setting::None;
}

const char* CTelnetComPortCodec::SettingName(Setting setting)
{
    switch (setting) {
    case Setting::BaudRate:
        return "baud rate";
    case Setting::DataSize:
        return "data size";
    case Setting::Parity:
        return "parity";
    case Setting::StopSize:
        return "stop bits";
    case Setting::None:
        break;
    }
    return "";
}
