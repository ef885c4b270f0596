// The link's own workings, beneath its exchanges and stages: the halves of
// an exchange, the failure note, watched pauses and what the observer hears.

#include "DeviceLink.h"
#include "DurationText.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr uint32_t kStopCheckMs = 20; // how often a watched pause asks whether to stop

} // namespace

bool CDeviceLink::Fail(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(m_szFailure, sizeof m_szFailure, format, args);
    va_end(args);
    return false;
}

bool CDeviceLink::StopRequested() const { return m_pObserver && m_pObserver->StopRequested(); }

bool CDeviceLink::Pause(uint32_t ms, const char* during)
{
    if (!m_pObserver) {
        Sleep(ms);
        return true;
    }
    // Watched: in short steps, so that a request to stop is seen at once.
    const uint32_t start = TickCount();
    for (uint32_t slept = 0; slept < ms; slept = TickCount() - start) {
        if (StopRequested())
            return Fail("interrupted during %s", during);
        Sleep(std::min<uint32_t>(ms - slept, kStopCheckMs));
    }
    return true;
}

bool CDeviceLink::Send(const ExchangeLabel& exchange, const uint8_t* frame, uint32_t length)
{
    if (StopRequested())
        return Fail("%s: interrupted before it was sent", ExchangeLabelText(exchange, Direction::Sent).text);
    const bool written = Write(frame, length);
    if (m_pObserver)
        m_pObserver->OnFrame(Direction::Sent, LineMode(), exchange, frame, length);
    if (written)
        return true;
    const LabelText label = ExchangeLabelText(exchange, Direction::Sent);
    const PortFailure& failure = LastPortFailure();
    if (!PortLost() && StopRequested())
        return Fail("%s: interrupted while it was being sent", label.text);
    if (failure.kind != PortFailure::Kind::None)
        return Fail("%s: the write failed: %s", label.text, failure.text.c_str());
    return Fail("%s: the write failed", label.text);
}

bool CDeviceLink::Receive(const ExchangeLabel& exchange, uint8_t* reply, uint32_t length)
{
    const bool complete = Read(reply, static_cast<int32_t>(length));
    if (m_pObserver)
        m_pObserver->OnFrame(Direction::Received, LineMode(), exchange, reply, LastReadCount());
    if (complete)
        return true;
    const LabelText label = ExchangeLabelText(exchange, Direction::Received);
    // A stop that came while the answer was awaited is why it is missing,
    // not the device; a gone port is why before either.
    if (PortLost())
        return Fail("%s: %s", label.text, LastPortFailure().text.c_str());
    if (StopRequested())
        return Fail("interrupted while waiting for the answer to %s", label.text);
    if (LastPortFailure().kind != PortFailure::Kind::None)
        return Fail("%s: the read failed: %s", label.text, LastPortFailure().text.c_str());
    if (LastReadCount() == 0)
        return Fail("%s: no answer within %s", label.text, DurationText(kReadAllowanceMs).c_str());
    return Fail("%s: answer cut short: %u of %u bytes", label.text, LastReadCount(), length);
}

// A wrong answer is named as the exchange that was sent.
bool CDeviceLink::Expect(const ExchangeLabel& exchange, uint8_t reply, uint8_t success, ReplyMeaning meaning)
{
    if (reply == success)
        return true;
    return Fail("%s: device answered 0x%02X%s", ExchangeLabelText(exchange, Direction::Sent).text, reply,
                meaning ? meaning(reply) : "");
}

bool CDeviceLink::SendAndExpect(const ExchangeLabel& exchange, const uint8_t* frame, uint32_t length, uint8_t success,
                                ReplyMeaning meaning)
{
    Purge();
    uint8_t reply = 0;
    return Send(exchange, frame, length) && Receive(exchange, &reply, 1) && Expect(exchange, reply, success, meaning);
}

void CDeviceLink::Report(UpdateStage stage, UpdateStep step, uint32_t done, uint32_t total)
{
    if (m_pObserver)
        m_pObserver->OnStep(StageProgress{StageNumber(stage), step, done, total});
}

bool CDeviceLink::SetMode(int16_t mode)
{
    if (SetLineMode(mode))
        return true;
    const char* why = LastPortFailure().text.c_str();
    return Fail("the port did not take line mode %d%s%s", mode, *why ? ": " : "", why);
}
