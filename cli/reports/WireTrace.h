#pragma once
// Every exchange on the wire as one line: time since the start in ms,
// direction, line mode, exchange and bytes in hex, long frames folded.

#include "LinkObserver.h"

#include <chrono>
#include <cstdio>

class WireTrace {
public:
    explicit WireTrace(std::FILE* out) : m_out(out), m_start(std::chrono::steady_clock::now()) {}
    void Frame(Direction direction, int16_t mode, const ExchangeLabel& exchange, const uint8_t* bytes, uint32_t count);

private:
    std::FILE* m_out;
    std::chrono::steady_clock::time_point m_start;
};
