// The Telnet codec against what a server, ser2net among them, sends.
// Bytes: 255 IAC, 254 DONT, 253 DO, 252 WONT, 251 WILL, 250 SB, 240 SE; options
// 0 BINARY, 1 ECHO, 3 SUPPRESS-GO-AHEAD, 44 COM-PORT-OPTION.

#include "TelnetFeed.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Codec = TelnetComPortCodec;
using Setting = Codec::Setting;

// count commands (verb) for options 5, 6, ...: requests, or the refusals that answer them.
Bytes ForOptions(uint8_t verb, int count)
{
    Bytes out;
    for (int i = 0; i < count; ++i)
        out.insert(out.end(), {255, verb, static_cast<uint8_t>(5 + i)});
    return out;
}

template <typename Encoder>
Bytes Encoded(Encoder encode)
{
    uint8_t out[64];
    return Bytes(out, out + encode(out));
}

// The whole input at once: the fuzzer checks that chunks of any size decode the same.
TelnetFed Feed(Codec& codec, const Bytes& in)
{
    TelnetFed fed;
    FeedTelnet(codec, in.data(), static_cast<uint32_t>(in.size()), fed, [](bool kept) { EXPECT_TRUE(kept); });
    return fed;
}

TEST(TelnetComPortCodec, Encodes)
{
    Codec codec;
    EXPECT_EQ(Encoded([&](uint8_t* out) { return codec.EncodeOpening(out); }),
              (Bytes{255, 251, 0, 255, 253, 0, 255, 251, 3, 255, 253, 3, 255, 251, 44}));
    const struct {
        uint32_t baudRate;
        uint8_t parity;
        Bytes baud;
        uint8_t sentParity;
    } cases[] = {
        {9600, 0, {0, 0, 0x25, 0x80}, 1}, {38400, 1, {0, 0, 0x96, 0}, 2}, {0xFF00FF, 0, {0, 255, 255, 0, 255, 255}, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(Encoded([&](uint8_t* out) { return codec.EncodeSettings(c.baudRate, 8, c.parity, 0, out); }),
                  Concat({Sub(1, c.baud), Sub(2, {8}), Sub(3, {c.sentParity}), Sub(4, {1})}))
            << c.baudRate;
    EXPECT_TRUE(Encoded([&](uint8_t* out) { return codec.EncodeSettings(9600, 8, 5, 0, out); }).empty());
    EXPECT_EQ(Encoded([&](uint8_t* out) { return codec.EncodePurge(out); }), Sub(12, {1}));
    const Bytes data = {0x41, 255, 255, 0x0D};
    EXPECT_EQ(Encoded([&](uint8_t* out) { return Codec::EncodeData(data.data(), 4, out); }),
              (Bytes{0x41, 255, 255, 255, 255, 0x0D}));
}

TEST(TelnetComPortCodec, AnswersOptionsOnceAndRefusesTheRest)
{
    // comPort: 1 agreed, -1 refused, 0 not answered.
    const struct {
        const char* name;
        bool opening;
        Bytes in;
        Bytes replies;
        Bytes data;
        int comPort;
    } cases[] = {
        {"ser2net's greeting: only its ECHO is refused",
         true,
         Concat({{255, 251, 3, 255, 253, 3, 255, 251, 1, 255, 254, 1, 255, 253, 0, 255, 251, 0, 255, 253, 44},
                 {255, 253, 3},
                 Sub(107, {0})}),
         {255, 254, 1},
         {},
         1},
        {"COM-PORT-OPTION refused", true, {255, 254, 44}, {}, {}, -1},
        {"other options refused, their WONT and DONT ignored",
         true,
         {255, 253, 5, 255, 251, 24, 255, 251, 44, 255, 252, 24, 255, 254, 5},
         {255, 252, 5, 255, 254, 24, 255, 254, 44},
         {},
         0},
        {"unasked, agreed once; withdrawn, acknowledged once",
         false,
         {255, 253, 0, 255, 253, 0, 255, 251, 3, 255, 254, 0, 255, 254, 0},
         {255, 251, 0, 255, 253, 3, 255, 252, 0},
         {},
         0},
        {"doubled IACs are data, other commands nothing",
         true,
         {'a', 255, 255, 255, 241, 'b', 255, 249, 255, 242, 255, 240, 255, 255, 255, 255},
         {},
         {'a', 255, 'b', 255, 255},
         0},
        {"an over-long subnegotiation is dropped at its SE",
         true,
         Concat({Sub(101, {0, 0, 0x25, 0x80, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 255, 255}), {'a', 255, 255}}),
         {},
         {'a', 255},
         0},
        {"a subnegotiation without SE gives way to the next command",
         true,
         {255, 250, 44, 101, 0, 255, 253, 5, 'a'},
         {255, 252, 5},
         {'a'},
         0},
        {"a full reply queue is drained, not overrun", true, ForOptions(253, 20), ForOptions(252, 20), {}, 0},
        {"a refusal is sent once, however often the server asks",
         true,
         Concat({{255, 253, 5, 255, 251, 24},
                 Concat(std::vector<Bytes>(20, {255, 253, 5})),
                 {255, 251, 44, 255, 251, 24, 255, 251, 44}}),
         {255, 252, 5, 255, 254, 24, 255, 254, 44},
         {},
         0},
    };
    for (const auto& c : cases) {
        Codec codec;
        if (c.opening)
            Encoded([&](uint8_t* out) { return codec.EncodeOpening(out); });
        const TelnetFed fed = Feed(codec, c.in);
        EXPECT_EQ(fed.replies, c.replies) << c.name;
        EXPECT_EQ(fed.data, c.data) << c.name;
        EXPECT_EQ(codec.ComPortAgreed(), c.comPort > 0) << c.name;
        EXPECT_EQ(codec.ComPortRefused(), c.comPort < 0) << c.name;
    }
}

// Each request is answered once, in order: an answer counts for the request
// it answers only, and one of another value refuses it.
TEST(TelnetComPortCodec, ConfirmationsMustReportWhatWasAsked)
{
    // 9600 8N1 and a purge are asked before the bytes in "first" and, where
    // "again" is set, once more before those in "then".
    const Bytes baud = Sub(101, {0, 0, 0x25, 0x80}), size = Sub(102, {8}), parity = Sub(103, {1}), stop = Sub(104, {1}),
                purged = Sub(112, {1}), all = Concat({baud, size, parity, stop, purged});
    const struct {
        const char* name;
        Bytes first;
        bool again;
        Bytes then;
        Setting missing;
        bool purgeConfirmed;
        const char* refusal; // "" for none
    } cases[] = {
        {"all four, in any order, and the purge",
         Concat({stop, parity, purged, size, baud}),
         false,
         {},
         Setting::None,
         true,
         ""},
        {"the parity unanswered", Concat({baud, size, stop}), false, {}, Setting::Parity, false, ""},
        {"another speed reported",
         Concat({Sub(101, {0, 0, 0x4B, 0}), size, parity, stop}),
         false,
         {},
         Setting::BaudRate,
         false,
         "S set the baud rate to 19200 where 9600 was asked"},
        {"odd parity reported",
         Concat({baud, size, Sub(103, {2}), stop}),
         false,
         {},
         Setting::Parity,
         false,
         "S set the parity to odd where none was asked"},
        {"two stop bits reported",
         Concat({baud, size, parity, Sub(104, {2})}),
         false,
         {},
         Setting::StopSize,
         false,
         "S set the stop bits to 2 where 1 was asked"},
        {"a short value",
         Concat({Sub(101, {0x25, 0x80}), size, parity, stop}),
         false,
         {},
         Setting::BaudRate,
         false,
         "S answered the baud rate request with a malformed value where 9600 was asked"},
        {"an answer nobody asked for is ignored",
         Concat({all, Sub(101, {0, 0, 0x96, 0}), Sub(112, {1})}),
         false,
         {},
         Setting::None,
         true,
         ""},
        {"answers to an earlier request are forgotten", all, true, {}, Setting::BaudRate, false, ""},
        {"a late answer does not count for the next request of the same value",
         {},
         true,
         all,
         Setting::BaudRate,
         false,
         ""},
        {"a late answer, then the next request's own", {}, true, Concat({all, all}), Setting::None, true, ""},
        {"a late answer of another value refuses nothing",
         {},
         true,
         Concat({Sub(101, {0, 0, 0x4B, 0}), size, parity, stop}),
         Setting::BaudRate,
         false,
         ""},
    };
    for (const auto& c : cases) {
        Codec codec;
        for (const Bytes* answers : {&c.first, &c.then}) {
            if (answers == &c.then && !c.again)
                break;
            Encoded([&](uint8_t* out) { return codec.EncodeSettings(9600, 8, 0, 0, out); });
            Encoded([&](uint8_t* out) { return codec.EncodePurge(out); });
            Feed(codec, *answers);
        }
        EXPECT_EQ(codec.FirstUnconfirmed(), c.missing)
            << c.name << ": " << Codec::SettingName(codec.FirstUnconfirmed());
        EXPECT_EQ(codec.PurgeConfirmed(), c.purgeConfirmed) << c.name;
        EXPECT_EQ(codec.SettingRefused().setting == Setting::None ? "" : codec.RefusalText("S"), c.refusal) << c.name;
    }
}

} // namespace
