// Win32 implementation of the serial primitives: overlapped I/O, each
// operation waited for at once.

#include "PortDevices.h"
#include "SerialBackend.h"

#include <cstdio>
#include <map>

namespace {

// Line speed and character length per open port, for the write's lower bound.
struct WireTiming {
    uint32_t dwBaudRate = 0;
    uint32_t bitsPerCharacter = 10;
};
std::map<HANDLE, WireTiming> g_wireTimings;

constexpr DWORD kAllPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// Waits for a started transfer; false on any failure but "not yet".
bool WaitForCompletion(HANDLE port, OVERLAPPED& record, DWORD& moved)
{
    for (;;) {
        if (GetOverlappedResult(port, &record, &moved, TRUE))
            return true;
        if (GetLastError() != ERROR_IO_INCOMPLETE)
            return false;
    }
}

// A write cannot have left before its characters had time to cross the line.
// Where the platform reports it complete much sooner (Wine, adapters that
// buffer), the bytes may still sit in a kernel or device queue, and a purge
// right after the write would discard them: wait out the wire time then.
void HoldForWireTime(HANDLE port, uint32_t count, DWORD startTick)
{
    const auto it = g_wireTimings.find(port);
    if (it == g_wireTimings.end() || it->second.dwBaudRate == 0)
        return;
    const DWORD wireMs = static_cast<DWORD>(
        (uint64_t{count} * it->second.bitsPerCharacter * 1000 + it->second.dwBaudRate - 1) / it->second.dwBaudRate);
    const DWORD elapsed = GetTickCount() - startTick;
    if (elapsed * 2 < wireMs)
        Sleep(wireMs - elapsed);
}

void ClearPortError(HANDLE port)
{
    DWORD errors = 0;
    COMSTAT status{};
    ClearCommError(port, &errors, &status);
}

} // namespace

// COM1 to COM9 go by their plain names; from COM10 on only the device
// namespace form reaches them.
std::string PortDeviceName(uint8_t port)
{
    char name[16];
    if (port < 10)
        std::snprintf(name, sizeof name, "COM%d", port);
    else
        std::snprintf(name, sizeof name, "\\\\.\\COM%d", port);
    return name;
}

namespace SerialBackend {

PortHandle InvalidPort() { return INVALID_HANDLE_VALUE; }

bool CreateCompletionEvent(IoRecord& record)
{
    record = OVERLAPPED{};
    record.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return record.hEvent != nullptr;
}

void ReleaseCompletionEvent(IoRecord& record)
{
    if (record.hEvent)
        CloseHandle(record.hEvent);
    record.hEvent = nullptr;
}

PortHandle OpenPort(uint8_t port)
{
    return CreateFileA(PortDeviceName(port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
}

void ClosePort(PortHandle port)
{
    g_wireTimings.erase(port);
    CloseHandle(port);
}

void SetReceiveEventMask(PortHandle port, bool enabled) { SetCommMask(port, enabled ? EV_RXCHAR : 0); }

void SetupQueues(PortHandle port, uint32_t bytes) { SetupComm(port, bytes, bytes); }

void PurgeAll(PortHandle port) { PurgeComm(port, kAllPurgeFlags); }

bool ApplyLineSettings(PortHandle port, const LineSettings& settings)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(port, &dcb); // only applying the state decides the outcome
    dcb.BaudRate = settings.dwBaudRate;
    dcb.ByteSize = settings.nDataBits;
    dcb.Parity = settings.nParity;
    dcb.StopBits = settings.nStopBits;
    // Parity checking on in every mode; no flow control; DTR and RTS held off.
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    if (!SetCommState(port, &dcb))
        return false;
    g_wireTimings[port] = WireTiming{settings.dwBaudRate, BitsPerCharacter(settings)};
    return true;
}

bool ClearErrors(PortHandle port, uint32_t& waitingBytes)
{
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port, &errors, &status))
        return false;
    waitingBytes = status.cbInQue;
    return true;
}

bool ReadWaiting(PortHandle port, IoRecord& record, uint8_t* buffer, uint32_t n, uint32_t& moved)
{
    DWORD got = 0;
    moved = 0;
    if (ReadFile(port, buffer, n, &got, &record)) {
        moved = got;
        return true;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        ClearPortError(port);
        return false;
    }
    const bool ok = WaitForCompletion(port, record, got);
    moved = got;
    return ok;
}

bool WriteAll(PortHandle port, IoRecord& record, const uint8_t* buffer, uint32_t count, uint32_t& moved)
{
    DWORD put = 0;
    moved = 0;
    const DWORD startTick = GetTickCount();
    bool ok = WriteFile(port, buffer, count, &put, &record) != FALSE;
    if (!ok) {
        if (GetLastError() != ERROR_IO_PENDING) {
            ClearPortError(port);
            return false;
        }
        ok = WaitForCompletion(port, record, put);
    }
    moved = put;
    if (ok)
        HoldForWireTime(port, put, startTick);
    return ok;
}

// The read allowance is a busy poll here, as the port's own driver has it.
void WaitForInput(PortHandle, uint32_t) {}

// A vanished port shows as failed transfers and time-outs here.
bool PortLost(PortHandle) { return false; }

uint32_t TickCount() { return GetTickCount(); }

} // namespace SerialBackend
