#include "DeviceFaults.h"

const char* ExchangeName(Exchange exchange)
{
    switch (exchange) {
    case Exchange::Echo: return "echo";
    case Exchange::SignOn: return "sign-on";
    case Exchange::ClearRange: return "clear";
    case Exchange::WriteBlock: return "write";
    case Exchange::ReadBlock: return "read";
    case Exchange::Jump: return "jump";
    case Exchange::Ping: return "ping";
    case Exchange::FlashId: return "flash-id";
    case Exchange::Erase: return "erase";
    case Exchange::Program: return "program";
    case Exchange::Version: return "version";
    }
    return "?";
}

const char* FaultKindName(FaultKind kind)
{
    switch (kind) {
    case FaultKind::Silence: return "silence";
    case FaultKind::Late: return "late";
    case FaultKind::Nak: return "nak";
    case FaultKind::CorruptByte: return "corrupt";
    case FaultKind::CablePulled: return "unplug";
    case FaultKind::AdapterGone: return "unplug-adapter";
    case FaultKind::Unwritten: return "unwritten";
    }
    return "?";
}
