#pragma once
// What a front end may watch of the link while it works: the steps of the
// update stages, every frame on the wire, and whether to stop early. The
// Windows program sets no observer, and then none of this costs anything.

#include "ExchangeLabel.h"
#include "LineModes.h"
#include "ProtocolFacts.h"

#include <cstdint>

// Where a running stage has got to, for a progress display.
struct StageProgress {
    int stage; // 1 to 4, StageNumber's; 0 for none
    UpdateStep step;
    uint32_t done;
    uint32_t total;
};

class LinkObserver {
public:
    virtual ~LinkObserver() = default;
    virtual void OnStep(const StageProgress&) {}
    // One frame as it went out, or the bytes of an answer as they came in;
    // mode is the line mode in force.
    virtual void OnFrame(Direction, int16_t /*mode*/, const ExchangeLabel&, const uint8_t*, uint32_t) {}
    // Asked before every exchange and during the fixed pauses: true makes
    // the next exchange fail without sending anything.
    virtual bool StopRequested() { return false; }
};
