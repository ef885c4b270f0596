#pragma once
// One serial port, opened for exclusive use and driven with blocking reads
// and writes in one of three fixed line modes.

#include "LineModes.h"
#include "SerialPort.h"

#include <cstdint>
#include <memory>
#include <string>

class CSerialChannel {
public:
    CSerialChannel();
    ~CSerialChannel();
    CSerialChannel(const CSerialChannel&) = delete;
    CSerialChannel& operator=(const CSerialChannel&) = delete;

    // Each Open closes whatever port is held first. By number: COMn (on
    // POSIX /dev/ttyS(n-1)); by name: see OpenSerialPort; or a port some
    // other code has opened.
    bool Open(uint8_t port);
    bool Open(const std::string& name, const PortOptions& options = {});
    bool Open(std::unique_ptr<SerialPort> port);
    void Close();
    void Purge();
    // 0 run (38400 8O1), 1 bootstrap (9600 8N1), 2 loader (38400 8N1).
    bool SetLineMode(int16_t mode);
    // True when count bytes arrived within 100 ms of the first moment the
    // input queue was found empty, and no transfer failed.
    bool Read(uint8_t* buffer, int32_t count);
    // True when all count bytes were passed to the line.
    bool Write(const uint8_t* buffer, uint32_t count);

    // Waits ms on the port's clock (a plain sleep on a real port); without
    // a port nothing passes. TickCount reads that clock.
    void Sleep(uint32_t ms);
    uint32_t TickCount() const { return m_pPort ? m_pPort->TickCount() : 0; }

    bool IsOpen() const { return m_pPort != nullptr; }
    // Why the last Open by name failed, as that attempt found it.
    const PortOpenFailure& OpenFailure() const { return m_openFailure; }
    // For traces and failure reports: the bytes the last Read placed, and
    // the line mode last set (kUnknownLine before any).
    uint32_t LastReadCount() const { return m_nLastReadCount; }
    int16_t LineMode() const;
    // Why the port's last Read, Write or SetLineMode failed, as the port
    // found it (kind None when it did not say).
    const PortFailure& LastPortFailure() const;
    // Why the last SetLineMode failed, kept while reads and writes go on
    // (kind None after one that succeeded).
    const PortFailure& LineSettingFailure() const { return m_lineSettingFailure; }
    // What the last SetLineMode asked the port for, taken or not.
    LineSettings AskedLineSettings() const { return {m_dwBaudRate, m_nDataBits, m_nParity, m_nStopBits}; }
    // The port's device went away (an adapter unplugged, a connection
    // closed): nothing more will come. LastPortFailure says how.
    bool PortLost() const { return m_pPort && m_pPort->Lost(); }
    bool LowLatencyRefused() const { return m_pPort && m_pPort->LowLatencyRefused(); }

    static constexpr uint32_t kReadAllowanceMs = 100;

private:
    std::unique_ptr<SerialPort> m_pPort; // the open port, or none
    uint32_t m_dwBaudRate;
    uint8_t m_nDataBits;
    uint8_t m_nParity;
    uint8_t m_nStopBits;
    IoRecord m_olWrite;
    IoRecord m_olRead;
    uint32_t m_nLastReadCount = 0;
    PortOpenFailure m_openFailure;
    PortFailure m_lineSettingFailure;
};
