#include "SerialChannel.h"

#include "IoEvents.h"

namespace {

constexpr uint32_t kQueueBytes = 4096;

struct LineModeSettings {
    uint32_t dwBaudRate;
    uint8_t nParity;
};

// Indexed by line mode.
constexpr LineModeSettings kLineModes[kLineModeCount] = {
    {38400, 1}, // kRunLine: odd parity
    {9600, 0},  // kBootstrapLine
    {38400, 0}, // kLoaderLine
};

} // namespace

CSerialChannel::CSerialChannel()
    : m_dwBaudRate(0), m_nDataBits(8), m_nParity(0), m_nStopBits(0), m_olWrite{}, m_olRead{}
{
    // The read event first; without it no write event is made either.
    if (CreateCompletionEvent(m_olRead) && !CreateCompletionEvent(m_olWrite))
        ReleaseCompletionEvent(m_olRead);
}

CSerialChannel::~CSerialChannel()
{
    Close();
    ReleaseCompletionEvent(m_olWrite);
    ReleaseCompletionEvent(m_olRead);
}

bool CSerialChannel::Open(uint8_t port) { return Open(PortNameOf(port)); }

bool CSerialChannel::Open(const std::string& name, const PortOptions& options)
{
    Close();
    return Open(OpenSerialPort(name, options, m_openFailure));
}

bool CSerialChannel::Open(std::unique_ptr<SerialPort> port)
{
    Close();
    m_pPort = std::move(port);
    if (!m_pPort)
        return false;
    m_pPort->SetReceiveEventMask(true);
    m_pPort->SetupQueues(kQueueBytes);
    m_pPort->PurgeAll();
    return true;
}

void CSerialChannel::Close()
{
    m_lineSettingFailure = PortFailure{};
    if (!m_pPort)
        return;
    m_pPort->SetReceiveEventMask(false);
    m_pPort->PurgeAll();
    m_pPort.reset();
}

void CSerialChannel::Sleep(uint32_t ms)
{
    if (m_pPort)
        m_pPort->Sleep(ms);
}

void CSerialChannel::Purge()
{
    if (m_pPort)
        m_pPort->DiscardInput();
}

bool CSerialChannel::SetLineMode(int16_t mode)
{
    if (mode < 0 || mode >= kLineModeCount)
        return false;
    m_dwBaudRate = kLineModes[mode].dwBaudRate;
    m_nDataBits = 8;
    m_nParity = kLineModes[mode].nParity;
    m_nStopBits = 0;
    if (!m_pPort)
        return false;
    m_pPort->ForgetFailure();
    const bool applied = m_pPort->ApplyLineSettings(LineSettings{m_dwBaudRate, m_nDataBits, m_nParity, m_nStopBits});
    m_lineSettingFailure = applied ? PortFailure{} : m_pPort->Failure();
    return applied;
}

const PortFailure& CSerialChannel::LastPortFailure() const
{
    static const PortFailure kNoPort{PortFailure::Kind::None, 0, ""};
    return m_pPort ? m_pPort->Failure() : kNoPort;
}

int16_t CSerialChannel::LineMode() const
{
    for (int16_t mode = 0; mode < kLineModeCount; ++mode)
        if (kLineModes[mode].dwBaudRate == m_dwBaudRate && kLineModes[mode].nParity == m_nParity)
            return mode;
    return kUnknownLine;
}

bool CSerialChannel::Read(uint8_t* buffer, int32_t count)
{
    m_nLastReadCount = 0;
    if (count <= 0)
        return true;
    if (!m_pPort)
        return false; // nothing can come
    m_pPort->ForgetFailure();
    const auto wanted = static_cast<uint32_t>(count);
    // A port far away adds its round trip to what the device needs.
    const uint32_t allowanceMs = kReadAllowanceMs + m_pPort->ExtraAllowanceMs();
    uint32_t total = 0;
    bool result = true;
    bool clockRunning = false;
    bool stalled = false; // the last read brought nothing
    uint32_t startTick = 0;
    while (total < wanted) {
        uint32_t waiting = 0;
        if (!m_pPort->ClearErrors(waiting))
            waiting = 0;
        const uint32_t n = waiting < wanted - total ? waiting : wanted - total;
        // A pass whose read brought nothing counts as an empty one, so a port
        // that reports bytes it never delivers cannot hold the call forever.
        if (n == 0 || stalled) {
            stalled = false;
            if (m_pPort->Lost()) // no point waiting out the allowance
                break;
            const uint32_t now = m_pPort->TickCount();
            if (!clockRunning) {
                clockRunning = true;
                startTick = now;
            } else if (now - startTick > allowanceMs) {
                m_nLastReadCount = total;
                return false;
            }
            m_pPort->WaitForInput(allowanceMs + 1 - (now - startTick));
            continue;
        }
        uint32_t moved = 0;
        if (!m_pPort->ReadWaiting(m_olRead, buffer + total, n, moved))
            result = false;
        total += moved < n ? moved : n;
        stalled = moved == 0;
    }
    m_nLastReadCount = total;
    return result && total == wanted;
}

bool CSerialChannel::Write(const uint8_t* buffer, uint32_t count)
{
    if (!m_pPort)
        return false;
    m_pPort->ForgetFailure();
    uint32_t moved = 0;
    const bool completed = m_pPort->WriteAll(m_olWrite, buffer, count, moved);
    // A short write lost bytes on the way to the device: that is a failure.
    return completed && moved == count;
}
