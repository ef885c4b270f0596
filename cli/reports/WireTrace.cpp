#include "WireTrace.h"

namespace {

// Frames longer than this show their head and their tail (where a page
// keeps its checksum) around a count of what lies between.
constexpr uint32_t kFoldAbove = 24;
constexpr uint32_t kHead = 8;
constexpr uint32_t kTail = 2;

} // namespace

void WireTrace::Frame(Direction direction, int16_t mode, const ExchangeLabel& exchange, const uint8_t* bytes,
                      uint32_t count)
{
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start).count();
    std::fprintf(m_out, "%10.1f %s mode %d  %-28s", ms, direction == Direction::Sent ? "->" : "<-", mode,
                 ExchangeLabelText(exchange, direction).text);
    if (count == 0)
        std::fputs(" (nothing)", m_out);
    for (uint32_t i = 0; i < count; ++i) {
        if (count > kFoldAbove && i == kHead) {
            std::fprintf(m_out, " ..%u bytes..", count - kHead - kTail);
            i = count - kTail;
        }
        std::fprintf(m_out, " %02X", bytes[i]);
    }
    std::fputc('\n', m_out);
    std::fflush(m_out);
}
