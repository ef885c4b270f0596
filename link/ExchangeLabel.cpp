#include "ExchangeLabel.h"

#include "DurationText.h"

#include <cstdio>

LabelText ExchangeLabelText(const ExchangeLabel& label, Direction direction)
{
    LabelText out{};
    const char* name = ExchangeText(label.exchange);
    const bool answer = direction == Direction::Received;
    switch (label.exchange) {
    case LinkExchange::Download: std::snprintf(out.text, sizeof out.text, answer ? "%s echo" : "%s", name); break;
    case LinkExchange::WriteBlock:
    case LinkExchange::ReadBlock: std::snprintf(out.text, sizeof out.text, "%s 0x%04X", name, label.address); break;
    case LinkExchange::Ping:
        if (answer)
            std::snprintf(out.text, sizeof out.text, "%s ('Y' read %s after 'V')", name,
                          DurationText(kPingPauseMs).c_str());
        else
            std::snprintf(out.text, sizeof out.text, "%s", name);
        break;
    case LinkExchange::Erase:
        std::snprintf(out.text, sizeof out.text, "%s of bank %u (answer read %s after the command)", name, label.bank,
                      DurationText(kErasePauseMs).c_str());
        break;
    case LinkExchange::Program:
        std::snprintf(out.text, sizeof out.text, "%s 0x%04X of bank %u", name, label.address, label.bank);
        break;
    default: std::snprintf(out.text, sizeof out.text, "%s", name); break;
    }
    return out;
}
