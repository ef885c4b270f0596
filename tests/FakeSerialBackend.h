#pragma once
// A scripted stand-in for the platform's serial primitives, with a clock
// of its own, so the channel's algorithms can be checked pass by pass.

#include "SerialBackend.h"

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

struct FakePort {
    bool bExists = true;
    bool bOpen = false;
    std::deque<uint8_t> waiting;
    std::multimap<uint32_t, uint8_t> arrivals; // tick -> byte that arrives then
    int failingReadOp = -1;                    // which ReadWaiting call fails
    uint32_t writeShortBy = 0;
    bool bWriteFails = false;
    bool bApplyFails = false;
    std::vector<uint8_t> written;
    LineSettings applied{};
    int readOps = 0;
    int queries = 0;
    int purges = 0;
    int closes = 0;
};

namespace FakeSerial {

void Reset(uint32_t startTick = 1000);
FakePort& Port(uint8_t number);
uint32_t Now();
// When set, WaitForInput returns at once and every clock reading moves
// time on by one tick: a busy poll, as on Win32.
void SetBusyPoll(bool busy);

} // namespace FakeSerial
