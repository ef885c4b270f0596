#include "ProtocolLimit.h"

#include "FirmwareImages.h"
#include "HostTurnarounds.h"
#include "ImageSummary.h"

#include <algorithm>
#include <utility>

namespace {

template <typename Duration>
double Seconds(Duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

// The updater's sign-on wait, from the moment the download's last echo has
// come: one read of up to its read allowance, then a read and a 200 ms pause
// in turn, ten times at most, the pause following the read that got the 'X'
// too. Given when the 'X' arrives: when it is read and when the wait ends.
std::pair<double, double> SignOnWait(double arrival)
{
    constexpr double kReadAllowance = 0.1;
    constexpr double kPause = 0.2;
    if (arrival <= kReadAllowance)
        return {arrival, arrival};
    double read = kReadAllowance;
    for (int attempt = 0; attempt < 10; ++attempt, read += kReadAllowance + kPause)
        if (arrival <= read + kReadAllowance)
            return {std::max(arrival, read), std::max(arrival, read) + kPause};
    return {read, read}; // too late: the update fails
}

} // namespace

ProtocolLimit LimitOfUpdate(const DeviceTiming& timing, double bootstrapCharacter, double loaderCharacter)
{
    const double pages = FlashPagesToSend(kXilinxDataImage) + FlashPagesToSend(kApplicationImage);
    constexpr double kBlocks = 256; // the secondary loader, 8 KB in blocks of 32 bytes
    ProtocolLimit limit;
    // The start byte and the download; each echo overlaps the next byte, so
    // only the last one counts.
    limit.wire = (1 + 256 + 1) * bootstrapCharacter;
    // Clear with its 'D', each block written with its 'D' and read back, the
    // jump, the ping (its 'Y' comes within the pause after it).
    limit.wire += ((5 + 1) + kBlocks * (35 + 1) + kBlocks * (3 + 32) + 3 + 1) * loaderCharacter;
    // Both flash stages: the flash id and its answer, the erase (answered
    // within the pause), every page of 134 bytes and its answer.
    limit.wire += (2 * ((1 + 3) + 2) + pages * (134 + 1)) * loaderCharacter;

    const auto [read, end] = SignOnWait(Seconds(timing.signOnDelay) + loaderCharacter - bootstrapCharacter);
    limit.signOnRead = read;
    const double erase =
        std::max(Seconds(HostPauseAfter(Exchange::Erase)), Seconds(timing.eraseTime) + loaderCharacter);
    const double ping = std::max(Seconds(HostPauseAfter(Exchange::Ping)), loaderCharacter);
    limit.pauses = end + Seconds(HostPauseAfter(Exchange::Jump)) + ping + 2 * erase;
    limit.deviceWork = pages * 128 * Seconds(timing.byteProgramTime);
    return limit;
}
