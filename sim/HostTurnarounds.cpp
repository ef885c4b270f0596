#include "HostTurnarounds.h"

#include "ProtocolFacts.h"

#include <algorithm>
#include <numeric>

std::chrono::milliseconds HostPauseAfter(Exchange exchange)
{
    switch (exchange) {
    case Exchange::Jump: return std::chrono::milliseconds(kLoaderStartPauseMs); // then the ping
    case Exchange::Ping: return std::chrono::milliseconds(kPingPauseMs);        // then reads the 'Y'
    case Exchange::Erase: return std::chrono::milliseconds(kErasePauseMs);      // then reads the result
    default: return std::chrono::milliseconds(0);
    }
}

void HostTurnarounds::Delivered(Time at)
{
    if (m_mayGoOn)
        m_mayGoOn = std::max(*m_mayGoOn, at);
}

void HostTurnarounds::HostByte(Time start)
{
    if (!m_bFrameOver)
        return;
    m_bFrameOver = false;
    if (m_mayGoOn)
        m_records.push_back(std::max(std::chrono::duration_cast<std::chrono::microseconds>(start - *m_mayGoOn),
                                     std::chrono::microseconds(0)));
    m_mayGoOn.reset();
}

void HostTurnarounds::FrameTaken(Exchange exchange, Time end)
{
    m_bFrameOver = true;
    if (exchange == Exchange::SignOn)
        m_mayGoOn.reset();
    else
        m_mayGoOn = end + HostPauseAfter(exchange);
}

TurnaroundSummary HostTurnarounds::Summary() const
{
    if (m_records.empty())
        return {};
    std::vector<std::chrono::microseconds> sorted = m_records;
    std::sort(sorted.begin(), sorted.end());
    // Nearest rank: the smallest record with at least that share at or below it.
    auto rank = [&](size_t percent) { return sorted[(sorted.size() * percent + 99) / 100 - 1]; };
    const auto total = std::accumulate(sorted.begin(), sorted.end(), std::chrono::microseconds(0));
    return TurnaroundSummary{sorted.size(), rank(50), rank(99), sorted.back(), total};
}
