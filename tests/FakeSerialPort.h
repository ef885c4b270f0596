#pragma once
// A scripted stand-in for a port, with a clock of its own (sleeps only move
// it on), so the channel's algorithms can be checked pass by pass. The test
// keeps the state; the port the channel holds works on it.

#include "SerialPort.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>

struct FakePortState {
    uint32_t tick = 1000;
    // A busy poll, as on Win32: WaitForInput returns at once and every
    // clock reading moves time on by one tick.
    bool bBusyPoll = false;
    std::deque<uint8_t> waiting;
    std::multimap<uint32_t, uint8_t> arrivals; // tick -> byte that arrives then
    int failingReadOp = -1;                    // which ReadWaiting call fails; -2 all
    uint32_t writeShortBy = 0;
    bool bWriteFails = false;
    // What the port notes when a transfer or a setting fails: the system's
    // error number (0: it says nothing) and as what kind.
    int systemError = 0;
    PortFailure::Kind failureKind = PortFailure::Kind::TransferFailed;
    bool bSettingsRefused = false;
    int readOps = 0;
    int closes = 0;
    // Sees every frame written, and may line up arrivals in answer.
    std::function<void(const uint8_t* frame, uint32_t count)> onWrite;
};

std::unique_ptr<SerialPort> OpenFakePort(FakePortState& state);
