// A serial port on another machine, reached as rfc2217://HOST:PORT: Telnet
// with the Com Port Control option (RFC 2217), as ser2net and terminal
// servers serve it. The socket is read whenever the channel asks what has
// come, so no thread of its own is needed.

#include "DeviceText.h"
#include "LineTiming.h"
#include "NetworkPort.h"
#include "NetworkSocket.h"
#include "TelnetComPort.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kConnectMs = 5000;
constexpr uint32_t kAnswerMs = 2000; // for the option, each setting, the first purge, room to send
constexpr uint32_t kQueueBytes = 8192;
constexpr uint32_t kChunkBytes = 1024; // taken from the socket at a time
// The parity as last applied, beside the Win32 numbers: nothing applied yet,
// or a request whose outcome is not known (the server may have set it).
constexpr uint8_t kParityNoneYet = 0xFF;
constexpr uint8_t kParityUnknown = 0xFE;

// "2 s", as the messages name kAnswerMs.
std::string Seconds(uint32_t ms) { return std::to_string(ms / 1000) + " s"; }

class NetworkSerialPort : public SerialPort {
public:
    NetworkSerialPort(std::string endpoint, StopCheck stopRequested)
        : m_endpoint(std::move(endpoint)), m_socket(stopRequested), m_pStopRequested(stopRequested)
    {
    }

    // Connects and agrees on the Com Port Control option; false, with why in failure.
    bool Open(const std::string& host, const std::string& port, PortOpenFailure& failure);

    void PurgeAll() override
    {
        m_nQueued = m_nFirst = 0;
        uint8_t frame[TelnetComPortCodec::kPurgeBytes];
        Send(frame, m_codec.EncodePurge(frame));
        // What the server sent before it purged is stale; its answer marks the point.
        m_bPurging = m_bServerConfirmsPurge;
    }

    bool ApplyLineSettings(const LineSettings& settings) override;

    bool ClearErrors(uint32_t& waitingBytes) override
    {
        Pump();
        waitingBytes = m_nQueued;
        return true;
    }

    bool ReadWaiting(IoRecord&, uint8_t* buffer, uint32_t n, uint32_t& moved) override
    {
        for (moved = 0; moved < n && m_nQueued > 0; ++moved, --m_nQueued)
            buffer[moved] = m_aQueue[m_nFirst++ % kQueueBytes];
        return moved == n;
    }

    // RFC 2217 has no drain: a write returns once its characters would have
    // crossed the line at the current settings, counted from when they were
    // handed to the socket, which is when a local port's write returns.
    bool WriteAll(IoRecord&, const uint8_t* buffer, uint32_t count, uint32_t& moved) override
    {
        const auto start = LineTiming::Clock::now();
        uint8_t encoded[512];
        for (moved = 0; moved < count;) {
            const uint32_t part = std::min<uint32_t>(count - moved, sizeof encoded / 2);
            if (!Send(encoded, TelnetComPortCodec::EncodeData(buffer + moved, part, encoded)))
                return false;
            moved += part;
        }
        m_timing.HoldUntilSent(count, start);
        return true;
    }

    void WaitForInput(uint32_t timeoutMs) override
    {
        if (m_nQueued == 0 && !Lost())
            m_socket.WaitReadable(timeoutMs * 1000);
    }

    uint32_t ExtraAllowanceMs() const override { return m_nRoundTripMs; }

private:
    // A send the server does not take within kAnswerMs, or one a stop cut
    // short, leaves the connection mid-frame: the port is lost then too.
    bool Send(const uint8_t* bytes, uint32_t count)
    {
        if (Lost())
            return false;
        switch (m_socket.SendAll(bytes, count, kAnswerMs)) {
        case NetworkSocket::Sent::All: return true;
        case NetworkSocket::Sent::Closed: MarkLost(); break;
        case NetworkSocket::Sent::NoRoom:
            MarkLost(m_endpoint + " stopped reading: nothing more could be sent within " + Seconds(kAnswerMs));
            break;
        case NetworkSocket::Sent::Stopped: MarkLost("interrupted while sending to " + m_endpoint); break;
        }
        return false;
    }

    bool StopRequested() const { return StopAsked(m_pStopRequested); }

    // A server that turns a client away says why as plain text, then closes.
    std::string ClosedText() const
    {
        uint8_t text[160];
        uint32_t length = 0;
        for (uint32_t i = 0; i < m_nQueued && length < sizeof text; ++i) {
            const uint8_t byte = m_aQueue[(m_nFirst + i) % kQueueBytes];
            if (byte != '\r' && byte != '\n')
                text[length++] = byte;
        }
        const std::string said = PrintableDeviceText(text, length);
        return "the server closed the connection" + (said.empty() ? "" : ": " + said);
    }

    void MarkLost() { MarkLost("connection to " + m_endpoint + " closed"); }
    void MarkLost(std::string reason) { NoteFailure(PortFailure::Kind::Lost, 0, std::move(reason)); }

    // Takes one chunk of what the server has sent, so that a server that
    // floods cannot keep the caller from its deadline: data to the queue,
    // answers to option requests back to it in one send.
    void Pump();
    // Reads until done() holds, the connection ends, a stop is requested or
    // kAnswerMs pass.
    template <typename Done>
    bool AwaitAnswer(Done done);
    // What the server did with the last settings request, for a person.
    std::string SettingsProblem() const;

    std::string m_endpoint;
    NetworkSocket m_socket;
    StopCheck m_pStopRequested;
    TelnetComPortCodec m_codec;
    LineTiming m_timing;
    uint32_t m_nRoundTripMs = 0;
    bool m_bServerConfirmsPurge = false;
    bool m_bPurging = false;
    uint8_t m_nParity = kParityNoneYet; // as last applied, Win32 numbering
    uint8_t m_aQueue[kQueueBytes] = {};
    uint32_t m_nFirst = 0;
    uint32_t m_nQueued = 0;
};

void NetworkSerialPort::Pump()
{
    if (Lost() || m_nQueued + kChunkBytes > kQueueBytes)
        return;
    uint8_t raw[kChunkBytes];
    const int got = m_socket.Receive(raw, sizeof raw);
    if (got < 0)
        MarkLost();
    if (got <= 0)
        return;
    uint8_t data[sizeof raw];
    // Each answer completes a request of three bytes, one of which may have
    // begun in the chunk before: the answers to a chunk fit in this.
    uint8_t replies[sizeof raw + TelnetComPortCodec::kReplyQueueBytes];
    uint32_t replyCount = 0;
    for (uint32_t at = 0; at < static_cast<uint32_t>(got);) {
        // While purging, a byte at a time, so that the data before the
        // server's answer is known and dropped.
        const uint32_t step = m_bPurging ? 1 : static_cast<uint32_t>(got) - at;
        const auto decoded = m_codec.Decode(raw + at, step, data);
        at += decoded.consumed;
        if (replyCount + m_codec.ReplyCount() > sizeof replies) {
            Send(replies, replyCount);
            replyCount = 0;
        }
        std::memcpy(replies + replyCount, m_codec.Replies(), m_codec.ReplyCount());
        replyCount += m_codec.ReplyCount();
        m_codec.ClearReplies();
        if (m_bPurging) {
            m_bPurging = !m_codec.PurgeConfirmed();
            continue;
        }
        for (uint32_t i = 0; i < decoded.data; ++i)
            m_aQueue[(m_nFirst + m_nQueued++) % kQueueBytes] = data[i];
    }
    if (replyCount > 0)
        Send(replies, replyCount);
}

template <typename Done>
bool NetworkSerialPort::AwaitAnswer(Done done)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(kAnswerMs);
    for (Pump(); !done() && !Lost() && !StopRequested(); Pump()) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        m_socket.WaitReadable(static_cast<uint32_t>(left));
    }
    return done();
}

bool NetworkSerialPort::Open(const std::string& host, const std::string& port, PortOpenFailure& failure)
{
    using Network = PortOpenFailure::Network;
    const auto failed = [&](Network network, std::string text) {
        failure.network = StopRequested() ? Network::Interrupted : network;
        failure.text = StopRequested() ? "interrupted while opening" : std::move(text);
        return false;
    };
    std::string cause;
    if (!m_socket.Connect(host, port, kConnectMs, cause))
        return failed(Network::NoConnection, cause);
    uint8_t opening[TelnetComPortCodec::kOpeningBytes];
    Send(opening, m_codec.EncodeOpening(opening));
    if (!AwaitAnswer([&] { return m_codec.ComPortAgreed() || m_codec.ComPortRefused(); }) || !m_codec.ComPortAgreed()) {
        if (Lost())
            return failed(Network::Closed, ClosedText());
        return failed(Network::NotRfc2217, "does not speak RFC 2217 (no agreement on the Com Port Control option)");
    }
    // The first purge measures the round trip, and tells whether the server
    // answers purges; anything sent before it is not the device's answer to us.
    const auto sent = Clock::now();
    uint8_t frame[TelnetComPortCodec::kPurgeBytes];
    Send(frame, m_codec.EncodePurge(frame));
    m_bServerConfirmsPurge = AwaitAnswer([&] { return m_codec.PurgeConfirmed(); });
    const auto roundTrip = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - sent).count();
    m_nRoundTripMs = m_bServerConfirmsPurge ? static_cast<uint32_t>((roundTrip + 999) / 1000) : 0;
    // ser2net agrees first, then finds its port held or its device not opening.
    if (Lost() || StopRequested())
        return failed(Network::Closed, ClosedText());
    m_nQueued = m_nFirst = 0;
    return true;
}

bool NetworkSerialPort::ApplyLineSettings(const LineSettings& settings)
{
    uint8_t frame[2 * TelnetComPortCodec::kSettingsBytes];
    uint32_t length = 0;
    // ser2net, told "no parity" after odd, clears the parity-enable flag
    // only; in front of a pseudo-terminal, which has no such flag, the odd
    // flag it leaves is all the parity there is. "Even" on the way clears it.
    // A real UART is not affected.
    if ((m_nParity == 1 || m_nParity == kParityUnknown) && settings.nParity == 0)
        length = m_codec.EncodeSettings(settings.dwBaudRate, settings.nDataBits, 2, settings.nStopBits, frame);
    length += m_codec.EncodeSettings(settings.dwBaudRate, settings.nDataBits, settings.nParity, settings.nStopBits,
                                     frame + length);
    // The next frame goes out only once the server has confirmed all four;
    // one it answers with another value fails the request at once.
    const bool applied =
        Send(frame, length) && AwaitAnswer([&] {
            return m_codec.SettingsConfirmed() || m_codec.SettingRefused().setting != TelnetComPortCodec::Setting::None;
        }) &&
        m_codec.SettingsConfirmed();
    if (!applied) {
        // Whatever the server did with it, the odd parity may be in force.
        m_nParity = kParityUnknown;
        NoteFailure(PortFailure::Kind::SettingRefused, 0, SettingsProblem());
        return false;
    }
    m_nParity = settings.nParity;
    m_timing.Set(settings);
    return true;
}

std::string NetworkSerialPort::SettingsProblem() const
{
    using Setting = TelnetComPortCodec::Setting;
    if (Lost())
        return Failure().text;
    if (StopRequested())
        return "interrupted while waiting for " + m_endpoint + " to confirm the line settings";
    if (m_codec.SettingRefused().setting != Setting::None)
        return m_codec.RefusalText(m_endpoint);
    return std::string("no confirmation of the ") + TelnetComPortCodec::SettingName(m_codec.FirstUnconfirmed()) +
           " from " + m_endpoint + " within " + Seconds(kAnswerMs);
}

} // namespace

std::unique_ptr<SerialPort> OpenNetworkPort(const std::string& name, const PortOptions& options,
                                            PortOpenFailure& failure)
{
    failure.cause = PortOpenFailure::Cause::Network;
    std::string host, port;
    if (!ParseNetworkName(name, host, port)) {
        failure.network = PortOpenFailure::Network::BadName;
        failure.text = "not a network port name";
        return nullptr;
    }
    failure.endpoint = NetworkEndpoint(host, port);
    auto networkPort = std::make_unique<NetworkSerialPort>(failure.endpoint, options.pStopRequested);
    if (!networkPort->Open(host, port, failure))
        return nullptr;
    failure = PortOpenFailure{};
    return networkPort;
}
