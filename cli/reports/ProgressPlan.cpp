#include "ProgressPlan.h"

#include "ImageSummary.h"

#include <cstring>

namespace {

// Milliseconds of n characters of 10 bits (start, 8 data, stop).
constexpr double Wire(double characters, double baud) { return characters * 10.0 * 1000.0 / baud; }

} // namespace

ProgressPlan::ProgressPlan(uint32_t fpgaPages, uint32_t applicationPages)
    : m_steps{
          {1, "download", Wire(1 + 256, 9600)},
          {1, "sign-on", 1000}, // the loader signs on a second after it starts
          {2, "write", 256 * Wire(35 + 1, 38400)},
          {2, "verify", 256 * Wire(3 + 32, 38400)},
          {2, "start", 1000 + 500 + Wire(3 + 1 + 1, 38400)}, // jump, pause, ping
          {3, "erase", 2000 + Wire(1 + 3 + 2 + 1, 38400)},   // flash id and erase
          {3, "program", fpgaPages * Wire(134 + 1, 38400)},
          {4, "erase", 2000 + Wire(1 + 3 + 2 + 1, 38400)},
          {4, "program", applicationPages * Wire(134 + 1, 38400)},
      }
{
    for (const Step& step : m_steps)
        m_totalMs += step.ms;
}

ProgressPlan ProgressPlan::ForCarriedImages()
{
    return ProgressPlan(FlashPagesToSend(kXilinxDataImage), FlashPagesToSend(kApplicationImage));
}

double ProgressPlan::Fraction(const StageProgress& progress) const
{
    double before = 0;
    for (const Step& step : m_steps) {
        if (step.stage == progress.stage && std::strcmp(step.name, progress.step) == 0) {
            const double share = progress.total ? static_cast<double>(progress.done) / progress.total : 0.0;
            return (before + step.ms * share) / m_totalMs;
        }
        before += step.ms;
    }
    return 0.0;
}
