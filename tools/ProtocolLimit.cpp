#include "ProtocolLimit.h"

#include "FirmwareImages.h"
#include "HostTurnarounds.h"
#include "ImageSummary.h"
#include "ProtocolFacts.h"
#include "SerialChannel.h"

#include <algorithm>
#include <utility>

namespace {

template <typename Duration>
double Seconds(Duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

constexpr double SecondsOfMs(uint32_t ms) { return ms / 1e3; }

// Characters of an exchange's frame, and of the frame with its answer.
constexpr uint32_t Sent(LinkExchange exchange) { return FrameLengthsOf(exchange).sent; }
constexpr uint32_t Both(LinkExchange exchange) { return Sent(exchange) + FrameLengthsOf(exchange).answer; }

// The updater's sign-on wait, from the moment the download's last echo has
// come: one read of up to its read allowance, then a read and a poll pause
// in turn, as often as it tries, the pause following the read that got the
// 'X' too. Given when the 'X' arrives: when it is read and when the wait ends.
std::pair<double, double> SignOnWait(double arrival)
{
    constexpr double kReadAllowance = SecondsOfMs(CSerialChannel::kReadAllowanceMs);
    constexpr double kPause = SecondsOfMs(kSignOnPollMs);
    if (arrival <= kReadAllowance)
        return {arrival, arrival};
    double read = kReadAllowance;
    for (int attempt = 0; attempt < kSignOnAttempts; ++attempt, read += kReadAllowance + kPause)
        if (arrival <= read + kReadAllowance)
            return {std::max(arrival, read), std::max(arrival, read) + kPause};
    return {read, read}; // too late: the update fails
}

} // namespace

ProtocolLimit LimitOfUpdate(const DeviceTiming& timing, double bootstrapCharacter, double loaderCharacter)
{
    const double pages = FlashPagesToSend(kXilinxDataImage) + FlashPagesToSend(kApplicationImage);
    constexpr double kBlocks = kSecondaryBlocks;
    ProtocolLimit limit;
    // The start byte and the download; each echo overlaps the next byte, so
    // only the last one counts.
    limit.wire = (Sent(LinkExchange::DownloadStart) + Sent(LinkExchange::Download) + 1) * bootstrapCharacter;
    // Clear with its 'D', each block written with its 'D' and read back, the
    // jump, the ping (its 'Y' comes within the pause after it).
    limit.wire += (Both(LinkExchange::Clear) + kBlocks * Both(LinkExchange::WriteBlock) +
                   kBlocks * Both(LinkExchange::ReadBlock) + Sent(LinkExchange::Jump) + Sent(LinkExchange::Ping)) *
                  loaderCharacter;
    // Both flash stages: the flash id and its answer, the erase (answered
    // within the pause), every page and its answer.
    limit.wire +=
        (2 * (Both(LinkExchange::FlashId) + Sent(LinkExchange::Erase)) + pages * Both(LinkExchange::Program)) *
        loaderCharacter;

    const auto [read, end] = SignOnWait(Seconds(timing.signOnDelay) + loaderCharacter - bootstrapCharacter);
    limit.signOnRead = read;
    const double erase =
        std::max(Seconds(HostPauseAfter(Exchange::Erase)), Seconds(timing.eraseTime) + loaderCharacter);
    const double ping = std::max(Seconds(HostPauseAfter(Exchange::Ping)), loaderCharacter);
    limit.pauses = end + Seconds(HostPauseAfter(Exchange::Jump)) + ping + 2 * erase;
    limit.deviceWork = pages * kPageSize * Seconds(timing.byteProgramTime);
    return limit;
}
