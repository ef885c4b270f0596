// A Windows COM port: overlapped I/O, each operation waited for at once.

#include "LineTiming.h"
#include "SerialPort.h"

#include <cctype>
#include <cstdlib>

namespace {

constexpr DWORD kAllPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kInputPurgeFlags = PURGE_RXABORT | PURGE_RXCLEAR;

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

void ClearPortError(HANDLE port)
{
    DWORD errors = 0;
    COMSTAT status{};
    ClearCommError(port, &errors, &status);
}

class Win32SerialPort : public SerialPort {
public:
    explicit Win32SerialPort(HANDLE port) : m_hPort(port) {}
    ~Win32SerialPort() override { CloseHandle(m_hPort); }

    void SetReceiveEventMask(bool enabled) override { SetCommMask(m_hPort, enabled ? EV_RXCHAR : 0); }
    void SetupQueues(uint32_t bytes) override { SetupComm(m_hPort, bytes, bytes); }
    void PurgeAll() override { PurgeComm(m_hPort, kAllPurgeFlags); }
    void DiscardInput() override { PurgeComm(m_hPort, kInputPurgeFlags); }

    bool ApplyLineSettings(const LineSettings& settings) override
    {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(m_hPort, &dcb); // only applying the state decides the outcome
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
        if (!SetCommState(m_hPort, &dcb)) {
            NoteSystemFailure(PortFailure::Kind::SettingRefused, GetLastError());
            return false;
        }
        m_timing.Set(settings);
        return true;
    }

    bool ClearErrors(uint32_t& waitingBytes) override
    {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(m_hPort, &errors, &status)) {
            NoteSystemFailure(PortFailure::Kind::TransferFailed, GetLastError());
            return false;
        }
        waitingBytes = status.cbInQue;
        return true;
    }

    bool ReadWaiting(IoRecord& record, uint8_t* buffer, uint32_t n, uint32_t& moved) override
    {
        DWORD got = 0;
        moved = 0;
        if (ReadFile(m_hPort, buffer, n, &got, &record)) {
            moved = got;
            return true;
        }
        if (GetLastError() != ERROR_IO_PENDING)
            return TransferFailed();
        const bool ok = WaitForCompletion(m_hPort, record, got);
        moved = got;
        return ok || TransferFailed();
    }

    bool WriteAll(IoRecord& record, const uint8_t* buffer, uint32_t count, uint32_t& moved) override
    {
        DWORD put = 0;
        moved = 0;
        const auto start = LineTiming::Clock::now();
        bool ok = WriteFile(m_hPort, buffer, count, &put, &record) != FALSE;
        if (!ok) {
            if (GetLastError() != ERROR_IO_PENDING)
                return TransferFailed();
            ok = WaitForCompletion(m_hPort, record, put);
        }
        moved = put;
        if (!ok)
            return TransferFailed();
        HoldForWireTime(put, start);
        return true;
    }

    // The read allowance is a busy poll here (WaitForInput returns at once),
    // as the port's own driver has it; a vanished port shows as failed
    // transfers, which say so.

    uint32_t TickCount() const override { return GetTickCount(); }

private:
    // Notes the transfer's error, then clears the port's, so that the next
    // transfer can run.
    bool TransferFailed()
    {
        NoteSystemFailure(PortFailure::Kind::TransferFailed, GetLastError());
        ClearPortError(m_hPort);
        return false;
    }

    // What USB serial drivers answer once their adapter is unplugged keeps
    // the words a person knows; anything else is the system's.
    void NoteSystemFailure(PortFailure::Kind kind, DWORD error)
    {
        if (error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_DEVICE_REMOVED)
            NoteFailure(PortFailure::Kind::Lost, static_cast<int>(error), kAdapterDisconnected);
        else
            NoteFailure(kind, static_cast<int>(error));
    }

    // A write cannot have left before its characters had time to cross the
    // line. Where the platform reports it complete much sooner (Wine,
    // adapters that buffer), wait out the wire time, so that the waits
    // that follow a command count from its departure.
    void HoldForWireTime(uint32_t count, LineTiming::Clock::time_point start) const
    {
        if (LineTiming::Clock::now() - start < m_timing.Of(count) / 2)
            m_timing.HoldUntilSent(count, start);
    }

    HANDLE m_hPort;
    LineTiming m_timing;
};

// COM1 to COM9 go by their plain names; from COM10 on only the device
// namespace form reaches them. Other names are opened as they are given.
std::string DevicePathOf(const std::string& name)
{
    if (name.size() < 4 || _strnicmp(name.c_str(), "COM", 3) != 0)
        return name;
    char* end = nullptr;
    const unsigned long number = std::strtoul(name.c_str() + 3, &end, 10);
    if (*end != '\0' || !std::isdigit(static_cast<unsigned char>(name[3])) || number < 1 || number > 255)
        return name;
    return (number < 10 ? "COM" : "\\\\.\\COM") + std::to_string(number);
}

} // namespace

std::unique_ptr<SerialPort> OpenLocalPort(const std::string& name, const PortOptions&, PortOpenFailure& failure)
{
    HANDLE port = CreateFileA(DevicePathOf(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        failure.systemError = static_cast<int>(GetLastError());
        failure.cause = failure.systemError == ERROR_ACCESS_DENIED || failure.systemError == ERROR_SHARING_VIOLATION
                            ? PortOpenFailure::Cause::Held
                            : PortOpenFailure::Cause::System;
        return nullptr;
    }
    return std::make_unique<Win32SerialPort>(port);
}

std::string PortNameOf(uint8_t port) { return "COM" + std::to_string(port); }

uint32_t SerialPort::TickCount() const { return GetTickCount(); }

void SerialPort::Sleep(uint32_t ms) { ::Sleep(ms); }
