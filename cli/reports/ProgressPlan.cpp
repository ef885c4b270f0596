#include "ProgressPlan.h"

#include "ImageSummary.h"

#include <algorithm>
#include <cmath>

namespace {

// Milliseconds of n characters of 10 bits (start, 8 data, stop).
constexpr double kMsPerSecond = 1e3;
constexpr double Wire(double characters, uint32_t baud) { return characters * 10.0 * kMsPerSecond / baud; }

// Characters of an exchange's frame, and of the frame with its answer.
constexpr uint32_t Sent(LinkExchange exchange) { return FrameLengthsOf(exchange).sent; }
constexpr uint32_t Both(LinkExchange exchange) { return Sent(exchange) + FrameLengthsOf(exchange).answer; }

} // namespace

ProgressPlan::ProgressPlan(uint32_t fpgaPages, uint32_t applicationPages)
    : m_steps{
          {UpdateStage::PrimaryBootstrap, UpdateStep::Download,
           Wire(Sent(LinkExchange::DownloadStart) + Sent(LinkExchange::Download), kBootstrapBaud)},
          {UpdateStage::PrimaryBootstrap, UpdateStep::SignOn, kSignOnExpectedMs},
          {UpdateStage::SecondaryBootstrap, UpdateStep::Write,
           kSecondaryBlocks * Wire(Both(LinkExchange::WriteBlock), kLoaderBaud)},
          {UpdateStage::SecondaryBootstrap, UpdateStep::Verify,
           kSecondaryBlocks * Wire(Both(LinkExchange::ReadBlock), kLoaderBaud)},
          {UpdateStage::SecondaryBootstrap, UpdateStep::Start, // jump, pause, ping
           kLoaderStartPauseMs + kPingPauseMs + Wire(Both(LinkExchange::Jump) + Both(LinkExchange::Ping), kLoaderBaud)},
          {UpdateStage::FpgaImage, UpdateStep::Erase, // flash id and erase
           kErasePauseMs + Wire(Both(LinkExchange::FlashId) + Both(LinkExchange::Erase), kLoaderBaud)},
          {UpdateStage::FpgaImage, UpdateStep::Program, fpgaPages * Wire(Both(LinkExchange::Program), kLoaderBaud)},
          {UpdateStage::Application, UpdateStep::Erase,
           kErasePauseMs + Wire(Both(LinkExchange::FlashId) + Both(LinkExchange::Erase), kLoaderBaud)},
          {UpdateStage::Application, UpdateStep::Program,
           applicationPages * Wire(Both(LinkExchange::Program), kLoaderBaud)},
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
        if (StageNumber(step.stage) == progress.stage && step.step == progress.step) {
            const double share = progress.total ? static_cast<double>(progress.done) / progress.total : 0.0;
            return (before + step.ms * share) / m_totalMs;
        }
        before += step.ms;
    }
    return 0.0;
}

int TimeLeft::Seconds(double fraction, double elapsedS)
{
    // Too little done to measure a pace by: the plan's own.
    constexpr double kMeasurableFraction = 0.02;
    // The estimate goes up only past this share and these seconds more.
    constexpr double kBehindShare = 0.25;
    constexpr double kBehindS = 5.0;
    const double expectedSoFar = fraction * m_totalS;
    const double pace = fraction > kMeasurableFraction && expectedSoFar > 0 ? elapsedS / expectedSoFar : 1.0;
    const int estimate = static_cast<int>(std::lround(std::max(0.0, 1.0 - fraction) * m_totalS * pace));
    if (m_shown && estimate > *m_shown && estimate < *m_shown * (1 + kBehindShare) + kBehindS)
        return *m_shown;
    m_shown = estimate;
    return estimate;
}
