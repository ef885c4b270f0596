#include "SerialChannel.h"

namespace {

constexpr uint32_t kQueueBytes = 4096;

struct LineModeSettings {
    uint32_t dwBaudRate;
    uint8_t nParity;
};

constexpr LineModeSettings kLineModes[] = {
    {38400, 1}, // 0: run, odd parity
    {9600, 0},  // 1: bootstrap ROM
    {38400, 0}, // 2: loaders
};

} // namespace

CSerialChannel::CSerialChannel()
    : m_hPort(SerialBackend::InvalidPort()), m_dwBaudRate(0), m_nDataBits(8), m_nParity(0),
      m_nStopBits(0), m_olWrite{}, m_olRead{}
{
    // The read event first; without it no write event is made either.
    if (SerialBackend::CreateCompletionEvent(m_olRead) &&
        !SerialBackend::CreateCompletionEvent(m_olWrite))
        SerialBackend::ReleaseCompletionEvent(m_olRead);
}

CSerialChannel::~CSerialChannel()
{
    Close();
    SerialBackend::ReleaseCompletionEvent(m_olWrite);
    SerialBackend::ReleaseCompletionEvent(m_olRead);
}

bool CSerialChannel::Open(uint8_t port)
{
    Close();
    m_hPort = SerialBackend::OpenPort(port);
    if (!IsOpen())
        return false;
    SerialBackend::SetReceiveEventMask(m_hPort, true);
    SerialBackend::SetupQueues(m_hPort, kQueueBytes);
    SerialBackend::PurgeAll(m_hPort);
    return true;
}

void CSerialChannel::Close()
{
    if (!IsOpen())
        return;
    SerialBackend::SetReceiveEventMask(m_hPort, false);
    SerialBackend::PurgeAll(m_hPort);
    SerialBackend::ClosePort(m_hPort);
    m_hPort = SerialBackend::InvalidPort();
}

void CSerialChannel::Purge()
{
    if (IsOpen())
        SerialBackend::PurgeAll(m_hPort);
}

bool CSerialChannel::SetLineMode(int16_t mode)
{
    if (mode < 0 || mode > 2)
        return false;
    m_dwBaudRate = kLineModes[mode].dwBaudRate;
    m_nDataBits = 8;
    m_nParity = kLineModes[mode].nParity;
    m_nStopBits = 0;
    if (!IsOpen())
        return false;
    return SerialBackend::ApplyLineSettings(
        m_hPort, LineSettings{m_dwBaudRate, m_nDataBits, m_nParity, m_nStopBits});
}

int16_t CSerialChannel::LineMode() const
{
    for (int16_t mode = 0; mode < 3; ++mode)
        if (kLineModes[mode].dwBaudRate == m_dwBaudRate && kLineModes[mode].nParity == m_nParity)
            return mode;
    return -1;
}

bool CSerialChannel::Read(uint8_t* buffer, int32_t count)
{
    m_nLastReadCount = 0;
    if (count <= 0)
        return true;
    const auto wanted = static_cast<uint32_t>(count);
    uint32_t total = 0;
    bool result = true;
    bool clockRunning = false;
    uint32_t startTick = 0;
    while (total < wanted) {
        uint32_t waiting = 0;
        if (!IsOpen() || !SerialBackend::ClearErrors(m_hPort, waiting))
            waiting = 0;
        const uint32_t n = waiting < wanted - total ? waiting : wanted - total;
        if (n == 0) {
            if (PortLost()) // no point waiting out the allowance
                break;
            const uint32_t now = SerialBackend::TickCount();
            if (!clockRunning) {
                clockRunning = true;
                startTick = now;
            } else if (now - startTick > kReadAllowanceMs) {
                m_nLastReadCount = total;
                return false;
            }
            if (IsOpen())
                SerialBackend::WaitForInput(m_hPort, kReadAllowanceMs + 1 - (now - startTick));
            continue;
        }
        uint32_t moved = 0;
        if (!SerialBackend::ReadWaiting(m_hPort, m_olRead, buffer + total, n, moved))
            result = false;
        total += moved < n ? moved : n;
    }
    m_nLastReadCount = total;
    return result && total == wanted;
}

bool CSerialChannel::Write(const uint8_t* buffer, uint32_t count)
{
    if (!IsOpen())
        return false;
    uint32_t moved = 0;
    const bool completed = SerialBackend::WriteAll(m_hPort, m_olWrite, buffer, count, moved);
    // A short write lost bytes on the way to the device: that is a failure.
    return completed && moved == count;
}
