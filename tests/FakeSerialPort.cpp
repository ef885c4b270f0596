#include "FakeSerialPort.h"

#include <algorithm>

namespace {

class FakeSerialPort : public SerialPort {
public:
    explicit FakeSerialPort(FakePortState& state) : m_state(state) { m_state.bOpen = true; }
    ~FakeSerialPort() override
    {
        m_state.bOpen = false;
        ++m_state.closes;
    }

    void PurgeAll() override
    {
        m_state.waiting.clear();
        ++m_state.purges;
    }

    bool ApplyLineSettings(const LineSettings& settings) override
    {
        if (m_state.bApplyFails)
            return false;
        m_state.applied = settings;
        return true;
    }

    bool ClearErrors(uint32_t& waitingBytes) override
    {
        ++m_state.queries;
        while (!m_state.arrivals.empty() && m_state.arrivals.begin()->first <= m_state.tick) {
            m_state.waiting.push_back(m_state.arrivals.begin()->second);
            m_state.arrivals.erase(m_state.arrivals.begin());
        }
        waitingBytes = static_cast<uint32_t>(m_state.waiting.size());
        return true;
    }

    bool ReadWaiting(IoRecord&, uint8_t* buffer, uint32_t n, uint32_t& moved) override
    {
        moved = 0;
        if (m_state.readOps++ == m_state.failingReadOp || m_state.failingReadOp == -2)
            return false;
        for (; moved < n && !m_state.waiting.empty(); ++moved) {
            buffer[moved] = m_state.waiting.front();
            m_state.waiting.pop_front();
        }
        return moved == n;
    }

    bool WriteAll(IoRecord&, const uint8_t* buffer, uint32_t count, uint32_t& moved) override
    {
        moved = 0;
        if (m_state.bWriteFails)
            return false;
        moved = count - std::min(count, m_state.writeShortBy);
        m_state.written.insert(m_state.written.end(), buffer, buffer + moved);
        return true;
    }

    void WaitForInput(uint32_t timeoutMs) override
    {
        if (m_state.bBusyPoll)
            return;
        uint32_t until = m_state.tick + timeoutMs;
        if (!m_state.arrivals.empty())
            until = std::min(until, m_state.arrivals.begin()->first);
        m_state.tick = until;
    }

    uint32_t TickCount() const override { return m_state.bBusyPoll ? m_state.tick++ : m_state.tick; }

private:
    FakePortState& m_state;
};

} // namespace

std::unique_ptr<SerialPort> OpenFakePort(FakePortState& state) { return std::make_unique<FakeSerialPort>(state); }
