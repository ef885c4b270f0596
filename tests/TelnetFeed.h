#pragma once
// Feeds server bytes to the Telnet codec as a network port does, taking the
// replies whenever Decode stops short; check hears whether each step kept
// the codec's promises. For the codec's test and its fuzzer.

#include "TelnetComPort.h"

#include <cstdint>
#include <vector>

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
