#include "FaultSpec.h"

#include <cstdlib>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& text)
{
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == ':')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

std::optional<uint32_t> Number(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (*end != '\0' || value > 0xFFFFFFFFul)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

} // namespace

std::optional<Fault> ParseFault(const std::string& text)
{
    const std::vector<std::string> parts = Split(text);
    if (parts.size() < 2 || parts.size() > 4)
        return std::nullopt;
    Fault fault{};
    bool kindFound = false;
    for (FaultKind kind : {FaultKind::Silence, FaultKind::Late, FaultKind::Nak, FaultKind::CorruptByte,
                           FaultKind::CablePulled, FaultKind::AdapterGone, FaultKind::Unwritten})
        if (parts[0] == FaultKindName(kind)) {
            fault.kind = kind;
            kindFound = true;
        }
    bool exchangeFound = false;
    for (int i = 0; i <= static_cast<int>(Exchange::Version); ++i)
        if (parts[1] == ExchangeName(static_cast<Exchange>(i))) {
            fault.at = static_cast<Exchange>(i);
            exchangeFound = true;
        }
    if (!kindFound || !exchangeFound)
        return std::nullopt;
    fault.occurrence = 1;
    if (parts.size() > 2) {
        const auto occurrence = Number(parts[2]);
        if (!occurrence)
            return std::nullopt;
        fault.occurrence = *occurrence;
    }
    // Defaults: a failure code, the last echo byte, a reply 300 ms late.
    fault.value = 0x01;
    fault.index = fault.at == Exchange::Echo ? 255 : fault.at == Exchange::FlashId ? 1 : 0;
    fault.delayMs = 300;
    if (parts.size() > 3) {
        const auto argument = Number(parts[3]);
        if (!argument)
            return std::nullopt;
        if (fault.kind == FaultKind::Nak) {
            if (*argument > 0xFF)
                return std::nullopt;
            fault.value = static_cast<uint8_t>(*argument);
        } else if (fault.kind == FaultKind::CorruptByte) {
            fault.index = *argument;
        } else {
            fault.delayMs = *argument;
        }
    }
    return fault;
}

std::string DescribeFault(const Fault& fault)
{
    std::string text = std::string(FaultKindName(fault.kind)) + " at " + ExchangeName(fault.at);
    text += fault.occurrence == 0 ? " (every one)" : " #" + std::to_string(fault.occurrence);
    return text;
}
