#pragma once
// The completion events of the channel's two transfer records: unnamed
// manual-reset events on Windows, nothing to make on POSIX.

#include "SerialPort.h"

#ifdef _WIN32
inline bool CreateCompletionEvent(IoRecord& record)
{
    record = OVERLAPPED{};
    record.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return record.hEvent != nullptr;
}

inline void ReleaseCompletionEvent(IoRecord& record)
{
    if (record.hEvent)
        CloseHandle(record.hEvent);
    record.hEvent = nullptr;
}
#else
inline bool CreateCompletionEvent(IoRecord& record) { return record.bEventCreated = true; }
inline void ReleaseCompletionEvent(IoRecord& record) { record.bEventCreated = false; }
#endif
