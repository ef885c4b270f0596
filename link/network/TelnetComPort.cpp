// What the server's bytes mean: serial data, answers to its option requests,
// and its confirmations of the settings and the purge.
#include "TelnetComPort.h"

#include "TelnetComPortCodes.h"

namespace {

int SlotOf(uint8_t option)
{
    for (int slot = 0; slot < 3; ++slot)
        if (kSlotOptions[slot] == option)
            return slot;
    return -1;
}

// A setting's value as sent (parity and stop size in RFC 2217's numbering), in words.
std::string ValueText(TelnetComPortCodec::Setting setting, uint32_t value)
{
    static const char* const kParities[] = {"none", "odd", "even", "mark", "space"};
    static const char* const kStopSizes[] = {"1", "2", "1.5"};
    if (setting == TelnetComPortCodec::Setting::Parity)
        return value >= 1 && value <= 5 ? kParities[value - 1] : "code " + std::to_string(value);
    if (setting == TelnetComPortCodec::Setting::StopSize)
        return value >= 1 && value <= 3 ? kStopSizes[value - 1] : "code " + std::to_string(value);
    return std::to_string(value);
}

} // namespace

TelnetComPortCodec::Decoded TelnetComPortCodec::Decode(const uint8_t* in, uint32_t count, uint8_t* data)
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

void TelnetComPortCodec::OnCommand(uint8_t command)
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

void TelnetComPortCodec::OnOption(uint8_t verb, uint8_t option)
{
    // DO and DONT are about what we do, WILL and WONT about what the server does.
    const bool ours = verb == kDo || verb == kDont;
    const bool positive = verb == kDo || verb == kWill;
    const uint8_t yes = ours ? kWill : kDo;
    const uint8_t no = ours ? kWont : kDont;
    const int slot = SlotOf(option);
    if (slot < 0 || (!ours && slot == kComPortSlot)) {
        // Refused, and staying so: a refusal only ever answers a request.
        if (positive && RefuseOnce(ours, option))
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

bool TelnetComPortCodec::RefuseOnce(bool ours, uint8_t option)
{
    uint8_t& bits = m_aRefused[ours ? 0 : 1][option / 8];
    const auto bit = static_cast<uint8_t>(1u << (option % 8));
    const bool first = !(bits & bit);
    bits |= bit;
    return first;
}

void TelnetComPortCodec::Collect(uint8_t byte)
{
    if (m_nSubLength < kMaxSubnegotiation)
        m_aSub[m_nSubLength++] = byte;
    else
        m_bSubTooLong = true;
}

void TelnetComPortCodec::OnSubnegotiation()
{
    if (m_nSubLength < 2 || m_aSub[0] != kComPortOption)
        return;
    const uint8_t* value = m_aSub + 2;
    const uint32_t length = m_nSubLength - 2;
    const bool oneByte = length == 1;
    switch (m_aSub[1]) {
    case kServerReply + kSetBaudRate:
        OnSettingAnswer(
            Setting::BaudRate, length == 4,
            length == 4 ? uint32_t{value[0]} << 24 | uint32_t{value[1]} << 16 | uint32_t{value[2]} << 8 | value[3] : 0);
        break;
    case kServerReply + kSetDataSize: OnSettingAnswer(Setting::DataSize, oneByte, value[0]); break;
    case kServerReply + kSetParity: OnSettingAnswer(Setting::Parity, oneByte, value[0]); break;
    case kServerReply + kSetStopSize: OnSettingAnswer(Setting::StopSize, oneByte, value[0]); break;
    case kServerReply + kPurgeData:
        // Purges are answered in order too: only the latest one's answer ends it.
        if (m_nPurgesOutstanding > 0 && --m_nPurgesOutstanding == 0)
            m_bPurgeConfirmed = oneByte && value[0] == kPurgeReceiveBuffer;
        break;
    default:
        // Signature, line and modem state, flow control: nothing to act on.
        break;
    }
}

void TelnetComPortCodec::Reply(uint8_t verb, uint8_t option)
{
    m_aReplies[m_nReplies++] = kIac;
    m_aReplies[m_nReplies++] = verb;
    m_aReplies[m_nReplies++] = option;
}

void TelnetComPortCodec::OnSettingAnswer(Setting setting, bool readable, uint32_t value)
{
    const auto index = static_cast<int>(setting);
    // One answer per request, in order: while an earlier request still waits
    // for its answer, this one is that answer; with none outstanding, nobody
    // asked for it.
    if (m_aOutstanding[index] == 0 || --m_aOutstanding[index] > 0)
        return;
    if (readable && value == m_aAsked[index])
        m_nConfirmed = static_cast<uint8_t>(m_nConfirmed | 1u << index);
    else if (m_refusal.setting == Setting::None)
        m_refusal = Refusal{setting, m_aAsked[index], value, readable};
}

TelnetComPortCodec::Setting TelnetComPortCodec::FirstUnconfirmed() const
{
    for (int setting = static_cast<int>(Setting::BaudRate); setting <= static_cast<int>(Setting::StopSize); ++setting)
        if (!(m_nConfirmed & (1u << setting)))
            return static_cast<Setting>(setting);
    return Setting::None;
}

const char* TelnetComPortCodec::SettingName(Setting setting)
{
    switch (setting) {
    case Setting::BaudRate: return "baud rate";
    case Setting::DataSize: return "data size";
    case Setting::Parity: return "parity";
    case Setting::StopSize: return "stop bits";
    case Setting::None: break;
    }
    return "";
}

std::string TelnetComPortCodec::RefusalText(const std::string& server) const
{
    const std::string setting = SettingName(m_refusal.setting);
    const std::string asked = ValueText(m_refusal.setting, m_refusal.asked);
    if (!m_refusal.bReadable)
        return server + " answered the " + setting + " request with a malformed value where " + asked + " was asked";
    return server + " set the " + setting + " to " + ValueText(m_refusal.setting, m_refusal.set) + " where " + asked +
           " was asked";
}
