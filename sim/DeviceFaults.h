#pragma once
// Faults the simulated Kestrune can be told to show, each tied to one kind
// of exchange and to which occurrence of it (1 = the first, 0 = every one).

#include <cstdint>

enum class Exchange : uint8_t {
    Echo,       // bootstrap download echo (one exchange of 256 bytes)
    SignOn,     // primary loader's 'X'
    ClearRange, // 'F'
    WriteBlock, // 'w'
    ReadBlock,  // 'r'
    Jump,       // 'G' to the primary loader
    Ping,       // 'V'
    FlashId,    // 'G' to the secondary loader
    Erase,      // 'E'
    Program,    // 'P'
    Version,    // application's version query
};

enum class FaultKind : uint8_t {
    Silence,     // the reply is never sent
    Late,        // the reply comes delayMs later than usual
    Nak,         // the reply byte is replaced by value
    CorruptByte, // reply byte number index has its low bit flipped
    CablePulled, // from this exchange on nothing passes in either direction
    AdapterGone, // the host's USB adapter is unplugged: its port vanishes
    Unwritten,   // an erase or a page is answered as done, and the flash keeps what it held
};

struct Fault {
    FaultKind kind;
    Exchange at;
    uint32_t occurrence = 1;
    uint8_t value = 0x01;
    uint32_t index = 0;
    uint32_t delayMs = 0;
};

const char* ExchangeName(Exchange exchange);
const char* FaultKindName(FaultKind kind);
