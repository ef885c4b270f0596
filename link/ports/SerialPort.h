#pragma once
// One open port, as the serial channel drives it. Each kind of port (a
// terminal device, a Windows COM port, a port on another machine reached
// over the network) is one implementation, chosen when the port opens;
// the channel's algorithms above it stay the same for all of them. The
// port object owns everything of its own: the handle, the settings to give
// back, whether its device went away, its line timing.

#include "PortHolders.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
using IoRecord = OVERLAPPED;
#else
// POSIX transfers complete inside the call, so a record carries no event.
struct IoRecord {
    bool bEventCreated = false;
};
#endif

// One line setting as the channel stores it (parity and stop bits in the
// Win32 numbering: parity 0 none, 1 odd; stop bits 0 = one).
struct LineSettings {
    uint32_t dwBaudRate;
    uint8_t nDataBits;
    uint8_t nParity;
    uint8_t nStopBits;
};

// Start bit, data bits, parity bit if any, one stop bit.
constexpr uint32_t BitsPerCharacter(const LineSettings& settings)
{
    return 1u + settings.nDataBits + (settings.nParity ? 1u : 0u) + 1u;
}

struct PortOptions {
    // A pseudo-terminal has no wire: bytes pass at once. When set, a write
    // also takes the time its characters would need on the line, so the
    // host keeps the timeline it has on a real cable.
    bool bEmulateWireTime = false;
    // Asked during a network port's waits (connecting, its server's answers,
    // room to send): true ends them early, as a signal should.
    bool (*pStopRequested)() = nullptr;
};

// Why a port did not open, as the attempt itself found it.
struct PortOpenFailure {
    enum class Cause : uint8_t {
        None,         // it opened
        System,       // the system refused it; systemError says why
        NotATerminal, // it opened, but is no serial device
        Held,         // another program has it: holders names them (none named:
                      // another copy of this updater, by the port's lock)
        Network,      // a network port: network says what went wrong
    };
    // What stopped a network port from opening; text then holds the
    // system's or the server's own words.
    enum class Network : uint8_t {
        None,
        BadName,      // not of the shape rfc2217://HOST:PORT
        NoConnection, // unknown host, refused, no answer in time
        Closed,       // the server closed the connection (and may have said why)
        NotRfc2217,   // connected, but no agreement on the Com Port Control option
        Lost,         // the connection broke while the port was being readied
        Interrupted,  // a signal came while it opened
    };
    Cause cause = Cause::None;
    int systemError = 0; // errno, or GetLastError() on Windows
    std::vector<PortHolder> holders;
    std::string text; // a network port's words, one line, no line end
    Network network = Network::None;
    std::string endpoint; // HOST:PORT of a network port, as messages name it
};

// Why a port's last operation failed, as the port itself found it: one
// record for every kind of port, so that the system's own reason (or a
// server's words) reaches the person.
struct PortFailure {
    enum class Kind : uint8_t {
        None,
        Lost,           // the device went away (an adapter pulled, a connection closed): for good
        SettingRefused, // the driver or the server would not take a line setting
        TransferFailed, // a read, a write or a query of the port failed
        Network,        // the server did something else than asked; text has its words
    };
    Kind kind = Kind::None;
    int systemError = 0; // errno, or GetLastError() on Windows; 0 when the system said nothing
    std::string text;    // for a person: the system's message, or what the port found
};

class SerialPort {
public:
    virtual ~SerialPort() = default; // closes the port and gives back what it changed
    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Side steps of opening and closing; nothing depends on their outcome.
    virtual void SetReceiveEventMask(bool /*enabled*/) {}
    virtual void SetupQueues(uint32_t /*bytes*/) {}

    // On opening and closing: aborts pending transfers and discards both
    // queues (the input only, where flushing the output drops bytes sent).
    virtual void PurgeAll() = 0;
    // Before an exchange: discards what waits to be read. Never the output:
    // a write may be reported complete before its bytes have left (Wine,
    // an adapter's own buffer), and a transmit purge would drop them.
    virtual void DiscardInput() { PurgeAll(); }
    virtual bool ApplyLineSettings(const LineSettings& settings) = 0;
    // Clears any pending line error; false when the port cannot be queried.
    virtual bool ClearErrors(uint32_t& waitingBytes) = 0;
    // Moves up to n bytes that are already waiting into buffer; moved tells
    // how many came. A short read is no failure (the channel asks again):
    // false only when the transfer itself failed.
    virtual bool ReadWaiting(IoRecord& record, uint8_t* buffer, uint32_t n, uint32_t& moved) = 0;
    // Sends count bytes and returns once they have left for the line.
    virtual bool WriteAll(IoRecord& record, const uint8_t* buffer, uint32_t count, uint32_t& moved) = 0;
    // Lets the caller wait up to timeoutMs for input instead of spinning;
    // may return at once (the Win32 port's busy poll does).
    virtual void WaitForInput(uint32_t /*timeoutMs*/) {}

    // Why the last operation that failed did; kind None when none has.
    const PortFailure& Failure() const { return m_failure; }
    // True once the port's device has gone away: nothing more will come.
    bool Lost() const { return m_failure.kind == PortFailure::Kind::Lost; }
    // Before an operation: an earlier failure is not its reason. A lost
    // port stays lost.
    void ForgetFailure()
    {
        if (!Lost())
            m_failure = PortFailure{};
    }
    // The driver is a serial driver but did not take low latency (Linux
    // ASYNC_LOW_LATENCY): answers may wait for an adapter's latency timer.
    virtual bool LowLatencyRefused() const { return false; }
    // Time an answer needs beyond the device's own, such as a network round trip.
    virtual uint32_t ExtraAllowanceMs() const { return 0; }
    // Millisecond clock; differences are taken modulo 2^32.
    virtual uint32_t TickCount() const;
    // The protocol's fixed pauses pass on the port's clock.
    virtual void Sleep(uint32_t ms);

protected:
    // Notes a failure; text empty: the system's message for systemError.
    // Nothing replaces a lost port's record.
    void NoteFailure(PortFailure::Kind kind, int systemError, std::string text = "");

private:
    PortFailure m_failure;
};

// The words a person sees for a lost local adapter.
inline constexpr const char* kAdapterDisconnected = "the serial adapter was disconnected";

// Opens the port with this name for exclusive use: a device path on POSIX,
// COMn on Windows, and whatever other kinds the program links (see
// LocalPortKinds.cpp and ../network/AllPortKinds.cpp, one of which each
// program links). Null with the cause in failure when it does not open.
std::unique_ptr<SerialPort> OpenSerialPort(const std::string& name, const PortOptions& options,
                                           PortOpenFailure& failure);
// A terminal device on POSIX, a COM port on Windows.
std::unique_ptr<SerialPort> OpenLocalPort(const std::string& name, const PortOptions& options,
                                          PortOpenFailure& failure);

// The name --port n stands for: COMn on Windows, /dev/ttyS(n-1) on POSIX.
std::string PortNameOf(uint8_t port);
