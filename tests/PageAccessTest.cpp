// Who may use the page: each request as a browser, another site or another
// program on this computer would send it, and what the page does with it.

#include "PageAccess.h"
#include "PageToken.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const PageAccessKey kKey{8123, "00112233445566778899aabbccddeeff"};
const char* const kCookie = "kestrune_page_8123=00112233445566778899aabbccddeeff";

struct AccessCase {
    const char* what;
    PageRequestFacts request;
    PageAccessVerdict verdict;
    unsigned status;
    const char* path; // Allow: the path served
};

PageRequestFacts Get(const char* target, const char* cookie = kCookie, const char* host = "127.0.0.1:8123")
{
    return PageRequestFacts{"GET", target, host, "", cookie, false};
}

PageRequestFacts Post(const char* target, const char* origin, const char* host = "127.0.0.1:8123")
{
    return PageRequestFacts{"POST", target, host, origin, kCookie, false};
}

PageRequestFacts Live(const char* origin, const char* cookie = kCookie)
{
    return PageRequestFacts{"GET", "/api/live", "127.0.0.1:8123", origin, cookie, true};
}

TEST(PageAccess, AnswersOnlyTheTokenHolderAtItsOwnAddress)
{
    const AccessCase cases[] = {
        {"first load", Get("/?token=00112233445566778899aabbccddeeff", ""), PageAccessVerdict::SetCookieAndGo, 303, ""},
        {"with the cookie", Get("/"), PageAccessVerdict::Allow, 200, "/"},
        {"a file", Get("/owner.js"), PageAccessVerdict::Allow, 200, "/owner.js"},
        {"cookie among others", Get("/api/state", "a=b; kestrune_page_8123=00112233445566778899aabbccddeeff; c=d"),
         PageAccessVerdict::Allow, 200, "/api/state"},
        {"no token", Get("/", ""), PageAccessVerdict::Refuse, 401, ""},
        {"no token, the state", Get("/api/state", ""), PageAccessVerdict::Refuse, 401, ""},
        {"wrong token", Get("/?token=00112233445566778899aabbccddeefe", ""), PageAccessVerdict::Refuse, 401, ""},
        {"token too short", Get("/?token=0011223344556677", ""), PageAccessVerdict::Refuse, 401, ""},
        {"token with more", Get("/?token=00112233445566778899aabbccddeeff0", ""), PageAccessVerdict::Refuse, 401, ""},
        {"empty token", Get("/?token=", kCookie), PageAccessVerdict::Refuse, 401, ""},
        {"another port's cookie", Get("/", "kestrune_page_8124=00112233445566778899aabbccddeeff"),
         PageAccessVerdict::Refuse, 401, ""},
        {"wrong cookie", Get("/", "kestrune_page_8123=ffffffffffffffffffffffffffffffff"), PageAccessVerdict::Refuse,
         401, ""},
        {"localhost", Get("/", kCookie, "localhost:8123"), PageAccessVerdict::Allow, 200, "/"},
        {"IPv6 loopback", Get("/", kCookie, "[::1]:8123"), PageAccessVerdict::Allow, 200, "/"},
        {"a rebound name", Get("/", kCookie, "evil.example:8123"), PageAccessVerdict::Refuse, 403, ""},
        {"no port", Get("/", kCookie, "127.0.0.1"), PageAccessVerdict::Refuse, 403, ""},
        {"another port", Get("/", kCookie, "127.0.0.1:80"), PageAccessVerdict::Refuse, 403, ""},
        {"no Host", Get("/", kCookie, ""), PageAccessVerdict::Refuse, 403, ""},
        {"the LAN address", Get("/", kCookie, "192.168.1.5:8123"), PageAccessVerdict::Refuse, 403, ""},
        {"own origin", Post("/api/update", "http://127.0.0.1:8123"), PageAccessVerdict::Allow, 200, "/api/update"},
        {"own origin, localhost", Post("/api/quit", "http://localhost:8123", "localhost:8123"),
         PageAccessVerdict::Allow, 200, "/api/quit"},
        {"foreign origin", Post("/api/update", "http://evil.example"), PageAccessVerdict::Refuse, 403, ""},
        {"origin of another port", Post("/api/update", "http://127.0.0.1:8124"), PageAccessVerdict::Refuse, 403, ""},
        {"origin of another name", Post("/api/update", "http://localhost:8123"), PageAccessVerdict::Refuse, 403, ""},
        {"https origin", Post("/api/update", "https://127.0.0.1:8123"), PageAccessVerdict::Refuse, 403, ""},
        {"no origin", Post("/api/update", ""), PageAccessVerdict::Refuse, 403, ""},
        {"opaque origin", Post("/api/update", "null"), PageAccessVerdict::Refuse, 403, ""},
        {"live, own origin", Live("http://127.0.0.1:8123"), PageAccessVerdict::Allow, 200, "/api/live"},
        {"live, foreign origin", Live("http://evil.example"), PageAccessVerdict::Refuse, 403, ""},
        {"live, no origin", Live(""), PageAccessVerdict::Refuse, 403, ""},
        {"live, no cookie", Live("http://127.0.0.1:8123", ""), PageAccessVerdict::Refuse, 401, ""},
        {"put",
         {"PUT", "/api/update", "127.0.0.1:8123", "http://127.0.0.1:8123", kCookie, false},
         PageAccessVerdict::Refuse,
         405,
         ""},
        {"options (no CORS)",
         {"OPTIONS", "/api/update", "127.0.0.1:8123", "http://evil.example", "", false},
         PageAccessVerdict::Refuse,
         405,
         ""},
        {"absolute target", Get("http://127.0.0.1:8123/"), PageAccessVerdict::Refuse, 400, ""},
        {"a post with the token", Post("/api/update?token=00112233445566778899aabbccddeeff", "http://127.0.0.1:8123"),
         PageAccessVerdict::Allow, 200, "/api/update"},
    };
    for (const AccessCase& c : cases) {
        const PageAccessDecision decision = CheckPageAccess(c.request, kKey);
        EXPECT_EQ(decision.verdict, c.verdict) << c.what << ": " << decision.message;
        EXPECT_EQ(decision.status, c.status) << c.what;
        if (c.verdict == PageAccessVerdict::Allow) {
            EXPECT_EQ(decision.path, c.path) << c.what;
        }
        if (c.verdict == PageAccessVerdict::Refuse) {
            EXPECT_FALSE(decision.message.empty()) << c.what;
        }
    }
}

TEST(PageAccess, TheFirstLoadSetsAStrictCookieAndDropsTheToken)
{
    const PageAccessDecision first = CheckPageAccess(Get("/?token=00112233445566778899aabbccddeeff", ""), kKey);
    EXPECT_EQ(first.location, "/");
    EXPECT_EQ(first.setCookie,
              "kestrune_page_8123=00112233445566778899aabbccddeeff; Path=/; HttpOnly; SameSite=Strict");
    EXPECT_EQ(QueryValue("/x?a=1&token=abc&b=2", "token"), "abc");
    EXPECT_EQ(QueryValue("/x?mytoken=abc", "token"), std::nullopt);
}

TEST(PageAccess, TokensAre128RandomBits)
{
    std::set<std::string> tokens;
    for (int i = 0; i < 64; ++i) {
        const std::string token = NewPageToken();
        EXPECT_EQ(token.size(), 32u);
        EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos) << token;
        tokens.insert(token);
    }
    EXPECT_EQ(tokens.size(), 64u);
}

} // namespace
