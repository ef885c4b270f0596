#include "AdapterAdvice.h"

#include "UpdateRun.h"

#include <cstdio>

namespace {

// The benchmark's whole update through an FTDI adapter: 29.4 s at its
// default 16 ms latency timer, 23.4 s at 1 ms. The answers that wait for
// the timer are the same at any setting, so the cost grows by the same
// 6.0 s / 15 ms = 0.4 s for each millisecond above 1.
constexpr double kSecondsPerLatencyMs = (29.4 - 23.4) / (16 - 1);
constexpr uint32_t kLatencyWorthLowering = 2;
constexpr uint16_t kFtdiVendor = 0x0403;

} // namespace

bool IsGarbledAnswer(const std::vector<uint8_t>& reply) { return !reply.empty() && !IsVersionFrame(reply); }

std::string NoParityAdvice(const std::string& driver)
{
    const std::string which = driver.empty() ? "its driver" : "its driver (" + driver + ")";
    return "The adapter or " + which +
           " may not support parity (some CH340 and PL2303 drivers do not). The update itself runs without parity.";
}

std::string ParityHint(const std::string& driver)
{
    std::string advice = NoParityAdvice(driver);
    advice[0] = 't';
    return "  Bytes came back, but no valid answer at 38400 bit/s, 8 data bits, odd parity: " + advice + "\n";
}

std::string NoAnswerHint(const std::string& driver)
{
    const std::string which = driver.empty() ? "" : " (" + driver + ")";
    return "  \"???\": no answer to the version query. The Kestrune may be switched off, already in bootstrap mode "
           "(where it answers nothing but the update), on another port, or behind an adapter whose driver" +
           which + " does not support parity (some CH340 and PL2303 drivers do not).\n";
}

std::string LatencyAdvice(const PortInfo& port)
{
    if (port.vid != kFtdiVendor || port.latencyTimerMs <= kLatencyWorthLowering)
        return "";
    char text[400];
    std::snprintf(text, sizeof text,
                  "%s: the FTDI adapter's latency timer is %u ms, which makes the update about %.0f s longer "
                  "(measured: 29.4 s at 16 ms, 23.4 s at 1 ms); lower it to 1 ms under Device Manager > Port "
                  "Settings > Advanced > Latency Timer.\n",
                  port.path.c_str(), port.latencyTimerMs, (port.latencyTimerMs - 1) * kSecondsPerLatencyMs);
    return text;
}

std::string LowLatencyNote(const std::string& portName)
{
    return "(" + portName +
           ": the driver did not take low latency; each answer may wait for the adapter's latency timer.)";
}
