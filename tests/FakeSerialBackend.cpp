#include "FakeSerialBackend.h"

#include <algorithm>

namespace {

std::map<uint8_t, FakePort> g_ports;
uint32_t g_tick = 0;
bool g_busyPoll = false;

FakePort* Find(PortHandle handle)
{
    auto it = g_ports.find(static_cast<uint8_t>(handle));
    return handle > 0 && it != g_ports.end() && it->second.bOpen ? &it->second : nullptr;
}

void DeliverArrivals(FakePort& port)
{
    while (!port.arrivals.empty() && port.arrivals.begin()->first <= g_tick) {
        port.waiting.push_back(port.arrivals.begin()->second);
        port.arrivals.erase(port.arrivals.begin());
    }
}

} // namespace

namespace FakeSerial {

void Reset(uint32_t startTick)
{
    g_ports.clear();
    g_tick = startTick;
    g_busyPoll = false;
}

FakePort& Port(uint8_t number) { return g_ports[number]; }
uint32_t Now() { return g_tick; }
void SetBusyPoll(bool busy) { g_busyPoll = busy; }

} // namespace FakeSerial

namespace SerialBackend {

PortHandle InvalidPort() { return -1; }
bool CreateCompletionEvent(IoRecord& record) { return record.bEventCreated = true; }
void ReleaseCompletionEvent(IoRecord& record) { record.bEventCreated = false; }

PortHandle OpenPort(uint8_t number)
{
    FakePort& port = g_ports[number];
    if (!port.bExists || port.bOpen)
        return -1;
    port.bOpen = true;
    return number;
}

void ClosePort(PortHandle handle)
{
    if (FakePort* port = Find(handle)) {
        port->bOpen = false;
        ++port->closes;
    }
}

void SetReceiveEventMask(PortHandle, bool) {}
void SetupQueues(PortHandle, uint32_t) {}

void PurgeAll(PortHandle handle)
{
    if (FakePort* port = Find(handle)) {
        port->waiting.clear();
        ++port->purges;
    }
}

bool ApplyLineSettings(PortHandle handle, const LineSettings& settings)
{
    FakePort* port = Find(handle);
    if (!port || port->bApplyFails)
        return false;
    port->applied = settings;
    return true;
}

bool ClearErrors(PortHandle handle, uint32_t& waitingBytes)
{
    FakePort* port = Find(handle);
    if (!port)
        return false;
    ++port->queries;
    DeliverArrivals(*port);
    waitingBytes = static_cast<uint32_t>(port->waiting.size());
    return true;
}

bool ReadWaiting(PortHandle handle, IoRecord&, uint8_t* buffer, uint32_t n, uint32_t& moved)
{
    moved = 0;
    FakePort* port = Find(handle);
    if (!port)
        return false;
    if (port->readOps++ == port->failingReadOp)
        return false;
    for (; moved < n && !port->waiting.empty(); ++moved) {
        buffer[moved] = port->waiting.front();
        port->waiting.pop_front();
    }
    return moved == n;
}

bool WriteAll(PortHandle handle, IoRecord&, const uint8_t* buffer, uint32_t count, uint32_t& moved)
{
    moved = 0;
    FakePort* port = Find(handle);
    if (!port || port->bWriteFails)
        return false;
    moved = count - std::min(count, port->writeShortBy);
    port->written.insert(port->written.end(), buffer, buffer + moved);
    return true;
}

void WaitForInput(PortHandle handle, uint32_t timeoutMs)
{
    if (g_busyPoll)
        return;
    uint32_t until = g_tick + timeoutMs;
    if (FakePort* port = Find(handle); port && !port->arrivals.empty())
        until = std::min(until, port->arrivals.begin()->first);
    g_tick = until;
}

bool PortLost(PortHandle) { return false; }

uint32_t TickCount() { return g_busyPoll ? g_tick++ : g_tick; }

} // namespace SerialBackend
