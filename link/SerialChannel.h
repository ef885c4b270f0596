#pragma once
// One serial port, opened for exclusive use and driven with blocking reads
// and writes in one of three fixed line modes.

#include "SerialBackend.h"

#include <cstdint>

class CSerialChannel {
public:
    CSerialChannel();
    ~CSerialChannel();
    CSerialChannel(const CSerialChannel&) = delete;
    CSerialChannel& operator=(const CSerialChannel&) = delete;

    // Closes whatever port is held, then opens port n.
    bool Open(uint8_t port);
    void Close();
    void Purge();
    // 0 run (38400 8O1), 1 bootstrap (9600 8N1), 2 loader (38400 8N1).
    bool SetLineMode(int16_t mode);
    // True when count bytes arrived within 100 ms of the first moment the
    // input queue was found empty, and no transfer failed.
    bool Read(uint8_t* buffer, int32_t count);
    // True when all count bytes were passed to the line.
    bool Write(const uint8_t* buffer, uint32_t count);

    bool IsOpen() const { return m_hPort != SerialBackend::InvalidPort(); }
    // For traces and failure reports: the bytes the last Read placed, and
    // the line mode last set (-1 before any).
    uint32_t LastReadCount() const { return m_nLastReadCount; }
    int16_t LineMode() const;
    // The port's device went away (an adapter unplugged): nothing more will come.
    bool PortLost() const { return IsOpen() && SerialBackend::PortLost(m_hPort); }

    static constexpr uint32_t kReadAllowanceMs = 100;

private:
    PortHandle m_hPort;
    uint32_t m_dwBaudRate;
    uint8_t m_nDataBits;
    uint8_t m_nParity;
    uint8_t m_nStopBits;
    IoRecord m_olWrite;
    IoRecord m_olRead;
    uint32_t m_nLastReadCount = 0;
};
