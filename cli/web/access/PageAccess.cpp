#include "PageAccess.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The Host header names this computer's loopback address and the page's
// port, as the printed address and its two other spellings have it.
bool IsOwnHost(const std::string& host, uint16_t port)
{
    const std::string suffix = ":" + std::to_string(port);
    const std::string name = Lower(host);
    return name == "127.0.0.1" + suffix || name == "[::1]" + suffix || name == "localhost" + suffix;
}

// Compares without stopping at the first difference, so that the time
// taken tells nothing of how much of a guess was right.
bool SameSecret(const std::string& given, const std::string& secret)
{
    unsigned char difference = given.size() == secret.size() ? 0 : 1;
    for (size_t i = 0; i < secret.size(); ++i)
        difference |= static_cast<unsigned char>(secret[i] ^ (i < given.size() ? given[i] : 0));
    return difference == 0;
}

std::string CookieValue(const std::string& header, const std::string& name)
{
    size_t at = 0;
    while (at < header.size()) {
        const size_t end = std::min(header.find(';', at), header.size());
        std::string pair = header.substr(at, end - at);
        pair.erase(0, pair.find_first_not_of(' '));
        if (pair.compare(0, name.size() + 1, name + "=") == 0)
            return pair.substr(name.size() + 1);
        at = end + 1;
    }
    return "";
}

PageAccessDecision Refused(unsigned status, std::string message)
{
    PageAccessDecision decision;
    decision.status = status;
    decision.message = std::move(message);
    return decision;
}

} // namespace

std::string PageCookieName(uint16_t port) { return "kestrune_page_" + std::to_string(port); }

std::optional<std::string> QueryValue(const std::string& target, const std::string& name)
{
    const size_t query = target.find('?');
    if (query == std::string::npos)
        return std::nullopt;
    const std::string wanted = name + "=";
    for (size_t at = query + 1; at < target.size();) {
        const size_t end = std::min(target.find('&', at), target.size());
        if (target.compare(at, wanted.size(), wanted) == 0)
            return target.substr(at + wanted.size(), end - at - wanted.size());
        at = end + 1;
    }
    return std::nullopt;
}

PageAccessDecision CheckPageAccess(const PageRequestFacts& request, const PageAccessKey& key)
{
    if (!IsOwnHost(request.host, key.port))
        return Refused(403, "This page answers at 127.0.0.1:" + std::to_string(key.port) + " only, not at '" +
                                request.host + "'.");
    if (request.target.empty() || request.target[0] != '/')
        return Refused(400, "The request names no path on this page.");
    const bool reads = request.method == "GET" || request.method == "HEAD";
    if (!reads && request.method != "POST")
        return Refused(405, "This page takes GET and POST requests only.");
    const std::string path = request.target.substr(0, request.target.find('?'));
    const std::optional<std::string> queryToken = QueryValue(request.target, "token");
    const bool hasQueryToken = queryToken.has_value();
    if (hasQueryToken && !SameSecret(*queryToken, key.token))
        return Refused(401, "Wrong token: open the address kestrune-update printed.");
    if (!hasQueryToken && !SameSecret(CookieValue(request.cookie, PageCookieName(key.port)), key.token))
        return Refused(401, "This page needs its token: open the address kestrune-update printed.");
    // Anything that changes something, and the live channel, comes from the
    // page itself: the browser names the origin of the page that sent it.
    if ((!reads || request.bUpgrade) && request.origin != "http://" + Lower(request.host))
        return Refused(403,
                       "Requests that change something come from this page only, not from '" + request.origin + "'.");
    PageAccessDecision decision;
    decision.status = 200;
    decision.path = path;
    decision.verdict = PageAccessVerdict::Allow;
    if (hasQueryToken && reads && !request.bUpgrade) {
        decision.verdict = PageAccessVerdict::SetCookieAndGo;
        decision.status = 303;
        decision.location = path;
        decision.setCookie = PageCookieName(key.port) + "=" + key.token + "; Path=/; HttpOnly; SameSite=Strict";
    }
    return decision;
}
