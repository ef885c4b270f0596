// libFuzzer target: arbitrary server bytes, decoded at once and in random
// chunks, must give the same data, replies and confirmations, never more data
// than came in, and a reply queue that stays within its bounds.
//
// Input: baud rate (4 bytes, big-endian), data bits, parity, stop bits, the
// chunking's seed, then the server's bytes.

#include "TelnetFeed.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Start(TelnetComPortCodec& codec, const uint8_t* header)
{
    uint8_t out[TelnetComPortCodec::kOpeningBytes + TelnetComPortCodec::kSettingsBytes];
    Check(codec.EncodeOpening(out) <= TelnetComPortCodec::kOpeningBytes);
    const uint32_t baudRate =
        uint32_t{header[0]} << 24 | uint32_t{header[1]} << 16 | uint32_t{header[2]} << 8 | header[3];
    Check(codec.EncodeSettings(baudRate, header[4], header[5] % 5, header[6] % 3, out) <=
          TelnetComPortCodec::kSettingsBytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    constexpr size_t kHeader = 8;
    if (size < kHeader)
        return 0;
    const uint8_t* stream = input + kHeader;
    const auto length = static_cast<uint32_t>(size - kHeader);

    TelnetComPortCodec whole;
    Start(whole, input);
    TelnetFed once;
    FeedTelnet(whole, stream, length, once, Check);
    Check(once.data.size() <= length);

    TelnetComPortCodec chunked;
    Start(chunked, input);
    TelnetFed pieces;
    uint32_t state = input[7] * 2654435761u + 1;
    for (uint32_t done = 0; done < length;) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const uint32_t chunk = 1 + state % (state & 0x100 ? 64 : 4);
        const uint32_t count = chunk < length - done ? chunk : length - done;
        FeedTelnet(chunked, stream + done, count, pieces, Check);
        done += count;
    }

    Check(pieces.data == once.data && pieces.replies == once.replies);
    Check(chunked.FirstUnconfirmed() == whole.FirstUnconfirmed());
    Check(chunked.PurgeConfirmed() == whole.PurgeConfirmed());
    Check(chunked.ComPortAgreed() == whole.ComPortAgreed());
    return 0;
}
