#pragma once
// How long characters take on the line at the settings last applied: for
// ports whose writes complete before the bytes have crossed the wire (a
// pseudo-terminal, a network connection, a driver that only queues them).

#include "SerialPort.h"

#include <chrono>
#include <thread>

class LineTiming {
public:
    using Clock = std::chrono::steady_clock;

    void Set(const LineSettings& settings)
    {
        m_dwBaudRate = settings.dwBaudRate;
        m_nBitsPerCharacter = BitsPerCharacter(settings);
    }

    std::chrono::microseconds Of(uint32_t characters) const
    {
        if (m_dwBaudRate == 0)
            return std::chrono::microseconds(0);
        return std::chrono::microseconds(uint64_t{characters} * m_nBitsPerCharacter * 1000000u / m_dwBaudRate);
    }

    // Returns once characters handed over at start would have left the line.
    void HoldUntilSent(uint32_t characters, Clock::time_point start) const
    {
        std::this_thread::sleep_until(start + Of(characters));
    }

private:
    uint32_t m_dwBaudRate = 0;
    uint32_t m_nBitsPerCharacter = 10;
};
