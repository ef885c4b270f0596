#pragma once
// Server bytes for the Telnet codec's tests, its fuzzer and the network
// port's test: frames made up of parts, and a feed that hands them to the
// codec as a network port does.

#include "TelnetComPort.h"

#include <cstdint>
#include <vector>

using TelnetBytes = std::vector<uint8_t>;

inline TelnetBytes Concat(const std::vector<TelnetBytes>& parts)
{
    TelnetBytes out;
    for (const TelnetBytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A COM-PORT-OPTION subnegotiation; the server answers a command with command + 100.
inline TelnetBytes Sub(uint8_t command, const TelnetBytes& value)
{
    return Concat({{255, 250, 44, command}, value, {255, 240}});
}

// Feeds server bytes to the codec, taking the replies whenever Decode stops
// short; check hears whether each step kept the codec's promises.
struct TelnetFed {
    std::vector<uint8_t> data;
    std::vector<uint8_t> replies;
};

template <typename Check>
void FeedTelnet(TelnetComPortCodec& codec, const uint8_t* in, uint32_t count, TelnetFed& fed, Check check)
{
    for (uint32_t done = 0; done < count;) {
        // Exactly as large as the rest of the input, so that AddressSanitizer
        // catches any data placed beyond it.
        std::vector<uint8_t> data(count - done);
        const bool queueWasEmpty = codec.ReplyCount() == 0;
        const auto result = codec.Decode(in + done, count - done, data.data());
        check(result.data <= result.consumed && result.consumed <= count - done);
        check(codec.ReplyCount() <= TelnetComPortCodec::kReplyQueueBytes && codec.ReplyCount() % 3 == 0);
        check(result.consumed > 0 || !queueWasEmpty);
        fed.data.insert(fed.data.end(), data.begin(), data.begin() + result.data);
        fed.replies.insert(fed.replies.end(), codec.Replies(), codec.Replies() + codec.ReplyCount());
        codec.ClearReplies();
        done += result.consumed;
    }
}
