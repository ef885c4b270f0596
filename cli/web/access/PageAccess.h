#pragma once
// Who may use the page: the checks every request passes before anything
// else reads it. The page can write firmware, so it answers only a browser
// on this computer that holds the token the updater printed, at the address
// the updater printed (no other host name: no DNS rebinding), and it takes
// changes and the live channel only from its own origin (no other site's
// form or script). Pure functions, so each rule is a row of a table.

#include <cstdint>
#include <optional>
#include <string>

struct PageRequestFacts {
    std::string method;    // "GET", "POST" ...
    std::string target;    // "/api/state", "/?token=..."
    std::string host;      // the Host header
    std::string origin;    // the Origin header; empty when none came
    std::string cookie;    // the Cookie header
    bool bUpgrade = false; // a WebSocket upgrade
};

struct PageAccessKey {
    uint16_t port = 0; // the page's TCP port
    std::string token; // 32 hex digits
};

enum class PageAccessVerdict {
    Allow,          // serve path
    SetCookieAndGo, // the first load: the cookie, and on to location
    Refuse,         // status and message
};

struct PageAccessDecision {
    PageAccessVerdict verdict = PageAccessVerdict::Refuse;
    unsigned status = 0;
    std::string message;
    std::string path;      // the target without its query
    std::string location;  // SetCookieAndGo: the address without the token
    std::string setCookie; // SetCookieAndGo: the Set-Cookie header's value
};

PageAccessDecision CheckPageAccess(const PageRequestFacts& request, const PageAccessKey& key);

// The cookie's name: one per port, since a browser keeps cookies by host
// and not by port, and two updaters may serve pages at once.
std::string PageCookieName(uint16_t port);

// The value of one query parameter of a target; nothing when it is not there.
std::optional<std::string> QueryValue(const std::string& target, const std::string& name);
