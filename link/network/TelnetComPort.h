#pragma once
// The client's half of Telnet with the Com Port Control option (RFC 2217),
// as bytes only: what to send to set up and drive the remote serial port, and
// what the server's bytes mean. The network port owns the socket and the
// clock; nothing here blocks, and only the failure texts allocate.
//
// Data goes both ways in Telnet BINARY, so the only escaping is IAC doubling.

#include <cstdint>
#include <string>

class TelnetComPortCodec {
public:
    enum class Setting : uint8_t { None, BaudRate, DataSize, Parity, StopSize };

    struct Decoded {
        uint32_t consumed; // input bytes taken
        uint32_t data;     // serial data bytes placed, never more than consumed
    };

    // Largest outputs of the encoders.
    static constexpr uint32_t kOpeningBytes = 15;
    static constexpr uint32_t kSettingsBytes = 38; // every value byte doubled
    static constexpr uint32_t kPurgeBytes = 7;
    // Longest subnegotiation kept (option, command, value); longer ones are dropped.
    static constexpr uint32_t kMaxSubnegotiation = 16;
    static constexpr uint32_t kReplyQueueBytes = 48;

    // The opening: WILL and DO BINARY, WILL and DO SUPPRESS-GO-AHEAD, WILL
    // COM-PORT-OPTION; each only where not already agreed. Send it right
    // after connecting.
    uint32_t EncodeOpening(uint8_t* out);
    // SET-BAUDRATE, SET-DATASIZE, SET-PARITY and SET-STOPSIZE, with parity
    // and stop bits in the Win32 numbering (parity 0 none, 1 odd, 2 even,
    // 3 mark, 4 space; stop bits 0 one, 1 one and a half, 2 two). Forgets
    // the outcome of earlier requests. 0 bytes for a parity or stop bits out
    // of range.
    uint32_t EncodeSettings(uint32_t baudRate, uint8_t dataBits, uint8_t parity, uint8_t stopBits, uint8_t* out);
    // PURGE-DATA for the server's receive buffer. Its transmit buffer is left
    // alone: it can hold only bytes we sent that have not yet reached the
    // line (the server gets them a network delay after our line time has
    // passed), and discarding them would lose part of a frame.
    uint32_t EncodePurge(uint8_t* out);
    // Serial data for the socket: out holds 2 * count bytes at most.
    static uint32_t EncodeData(const uint8_t* data, uint32_t count, uint8_t* out);

    // Takes server bytes, in chunks of any size: serial data goes to data
    // (count bytes suffice), answers to option requests to the reply queue.
    // Stops early only when the queue is full: send the replies, clear them
    // and pass the rest again.
    Decoded Decode(const uint8_t* in, uint32_t count, uint8_t* data);
    const uint8_t* Replies() const { return m_aReplies; }
    uint32_t ReplyCount() const { return m_nReplies; }
    void ClearReplies() { m_nReplies = 0; }

    // The server took our WILL COM-PORT-OPTION (ser2net sends its DO on
    // connecting, before it sees ours), or refused it.
    bool ComPortAgreed() const { return m_aLocal[kComPortSlot] == Stance::Yes; }
    bool ComPortRefused() const { return m_bOpeningSent && m_aLocal[kComPortSlot] == Stance::No; }

    // Each setting request is matched with its own answer: servers answer
    // every request once, in order, with the value the port holds after it.
    // An answer that is not to the latest request (one that came late, or
    // never asked for) counts for nothing, so an answer to an earlier
    // request, or a speed the hardware could not take, never passes for the
    // new one.
    bool SettingsConfirmed() const { return FirstUnconfirmed() == Setting::None; }
    Setting FirstUnconfirmed() const;
    // The first setting of the latest request that the server answered with
    // another value than asked; setting None while there is none. Values as
    // sent: parity and stop size in RFC 2217's numbering.
    struct Refusal {
        Setting setting;
        uint32_t asked;
        uint32_t set;
        bool bReadable; // false: the answer's value had the wrong length
    };
    const Refusal& SettingRefused() const { return m_refusal; }
    // The latest purge, answered by the server.
    bool PurgeConfirmed() const { return m_bPurgeConfirmed; }
    static const char* SettingName(Setting setting);
    // The refusal in words, for a person: "SERVER set the baud rate to 9600
    // where 38400 was asked".
    std::string RefusalText(const std::string& server) const;

private:
    // Our side of an option we take, after RFC 1143 without the queue bit:
    // we never withdraw one, so there is never a pending "no" of ours.
    enum class Stance : uint8_t { No, WantYes, Yes };
    enum class State : uint8_t { Data, Command, Option, Subnegotiation, SubnegotiationCommand };

    static constexpr int kComPortSlot = 2; // after BINARY and SUPPRESS-GO-AHEAD

    void OnCommand(uint8_t command);
    void OnOption(uint8_t verb, uint8_t option);
    void Collect(uint8_t byte);
    void OnSubnegotiation();
    void Reply(uint8_t verb, uint8_t option);
    // A refusal is sent once: a server that asks again is not answered again,
    // so that it cannot keep us answering.
    bool RefuseOnce(bool ours, uint8_t option);
    void OnSettingAnswer(Setting setting, bool readable, uint32_t value);

    State m_eState = State::Data;
    uint8_t m_nVerb = 0;
    uint8_t m_aSub[kMaxSubnegotiation] = {};
    uint32_t m_nSubLength = 0;
    bool m_bSubTooLong = false;

    // BINARY, SUPPRESS-GO-AHEAD, COM-PORT-OPTION: what we do (our WILL) and
    // what the server does (our DO). We want all but the server's COM-PORT-OPTION.
    Stance m_aLocal[3] = {};
    Stance m_aRemote[3] = {};
    bool m_bOpeningSent = false;
    uint8_t m_aRefused[2][32] = {}; // a bit per option: ours, then the server's

    uint8_t m_aReplies[kReplyQueueBytes] = {};
    uint32_t m_nReplies = 0;

    uint32_t m_aAsked[5] = {};       // per Setting: baud rate, then data size, parity, stop size in RFC numbering
    uint32_t m_aOutstanding[5] = {}; // per Setting: requests sent and not yet answered
    uint8_t m_nConfirmed = 0;        // one bit per Setting
    Refusal m_refusal{Setting::None, 0, 0, true};
    uint32_t m_nPurgesOutstanding = 0;
    bool m_bPurgeConfirmed = false;
};
