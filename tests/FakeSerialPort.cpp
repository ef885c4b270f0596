#include "FakeSerialPort.h"

#include <algorithm>

namespace {

class FakeSerialPort : public SerialPort {
public:
    explicit FakeSerialPort(FakePortState& state) : m_state(state) {}
    ~FakeSerialPort() override { ++m_state.closes; }

    void PurgeAll() override
    {
        uint32_t waiting;
        ClearErrors(waiting);
        m_state.waiting.clear();
    }
    bool ApplyLineSettings(const LineSettings&) override { return !m_state.bSettingsRefused || Failed(); }

    bool ClearErrors(uint32_t& waitingBytes) override
    {
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
            return Failed();
        for (; moved < n && !m_state.waiting.empty(); ++moved) {
            buffer[moved] = m_state.waiting.front();
            m_state.waiting.pop_front();
        }
        return true;
    }

    bool WriteAll(IoRecord&, const uint8_t* buffer, uint32_t count, uint32_t& moved) override
    {
        moved = m_state.bWriteFails ? 0 : count - std::min(count, m_state.writeShortBy);
        if (m_state.onWrite)
            m_state.onWrite(buffer, moved);
        return !m_state.bWriteFails || Failed();
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
    void Sleep(uint32_t ms) override { m_state.tick += ms; }

private:
    bool Failed()
    {
        if (m_state.systemError != 0)
            NoteFailure(m_state.failureKind, m_state.systemError);
        return false;
    }

    FakePortState& m_state;
};

} // namespace

std::unique_ptr<SerialPort> OpenFakePort(FakePortState& state) { return std::make_unique<FakeSerialPort>(state); }
