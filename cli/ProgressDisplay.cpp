#include "ProgressDisplay.h"

#include <unistd.h>

namespace {

const char* StageTitle(int stage)
{
    switch (stage) {
    case 1: return "Primary bootstrap";
    case 2: return "Secondary bootstrap";
    case 3: return "FPGA firmware";
    default: return "Application firmware";
    }
}

} // namespace

ProgressDisplay::ProgressDisplay(std::FILE* out) : m_out(out), m_bTerminal(isatty(fileno(out))) {}

void ProgressDisplay::Show(const StageProgress& progress)
{
    const bool newStep = progress.stage != m_stage || m_step != progress.step;
    m_stage = progress.stage;
    m_step = progress.step;
    if (!m_bTerminal) {
        // One line as a step begins and one as it completes.
        if (newStep || progress.done == progress.total)
            std::fprintf(m_out, "[%d/4] %-20s %-8s %u/%u\n", progress.stage, StageTitle(progress.stage),
                         progress.step, progress.done, progress.total);
        std::fflush(m_out);
        return;
    }
    if (newStep && m_bLineOpen)
        std::fputc('\n', m_out);
    constexpr int kWidth = 30;
    const int filled = progress.total ? static_cast<int>(kWidth * progress.done / progress.total) : 0;
    std::fprintf(m_out, "\r[%d/4] %-20s %-8s [%.*s%*s] %u/%u", progress.stage,
                 StageTitle(progress.stage), progress.step, filled,
                 "##############################", kWidth - filled, "", progress.done, progress.total);
    std::fflush(m_out);
    m_bLineOpen = true;
}

void ProgressDisplay::Finish()
{
    if (m_bLineOpen)
        std::fputc('\n', m_out);
    m_bLineOpen = false;
    m_stage = 0;
}
