#pragma once
// Platform primitives under CSerialChannel. Each platform supplies one
// implementation file; the channel's algorithms stay the same everywhere.

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
using PortHandle = HANDLE;
using IoRecord = OVERLAPPED;
#else
using PortHandle = int;
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

namespace SerialBackend {

PortHandle InvalidPort();

bool CreateCompletionEvent(IoRecord& record);
void ReleaseCompletionEvent(IoRecord& record);

// Opens port n for exclusive read/write use; InvalidPort() when it is absent
// or held by another program.
PortHandle OpenPort(uint8_t port);
void ClosePort(PortHandle port);

// Side steps of opening and closing; nothing depends on their outcome.
void SetReceiveEventMask(PortHandle port, bool enabled);
void SetupQueues(PortHandle port, uint32_t bytes);

// Aborts pending transfers and discards both queues.
void PurgeAll(PortHandle port);

bool ApplyLineSettings(PortHandle port, const LineSettings& settings);

// Clears any pending line error; false when the port cannot be queried.
bool ClearErrors(PortHandle port, uint32_t& waitingBytes);

// Moves n bytes that are already waiting into buffer. False when the
// transfer failed; moved tells how many bytes arrived all the same.
bool ReadWaiting(PortHandle port, IoRecord& record, uint8_t* buffer, uint32_t n, uint32_t& moved);

// Sends count bytes and returns once they have left for the line.
bool WriteAll(PortHandle port, IoRecord& record, const uint8_t* buffer, uint32_t count, uint32_t& moved);

// Lets the caller wait up to timeoutMs for input instead of spinning; may
// return at once.
void WaitForInput(PortHandle port, uint32_t timeoutMs);

// True once the port's device has gone away (a USB adapter pulled out), as
// the last transfer or wait found; such a port answers nothing any more.
bool PortLost(PortHandle port);

// Millisecond clock; differences are taken modulo 2^32.
uint32_t TickCount();

} // namespace SerialBackend
