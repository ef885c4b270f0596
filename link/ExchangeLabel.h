#pragma once
// Which exchange a frame belongs to, and its words in the wire trace and in
// the link's failures: "write block 0x6000", "page 0x8000 of bank 3".

#include "ProtocolFacts.h"

#include <cstdint>

enum class Direction : uint8_t { Sent, Received };

struct ExchangeLabel {
    LinkExchange exchange;
    uint16_t address = 0; // of the block or page
    uint8_t bank = 0;     // of the erase or page
};

struct LabelText {
    char text[80];
};

// The frame that went out, or the answer that came in: the download's
// answer is its "download echo", and the ping's answer says when it was
// read. Written on the stack: the update makes no heap allocation.
LabelText ExchangeLabelText(const ExchangeLabel& label, Direction direction);
