#pragma once
// The page's server: HTTP and a WebSocket (Boost.Beast) on a thread of its
// own, on this computer's loopback addresses only (127.0.0.1 and ::1). It
// serves the page's files, the state (GET /api/state, and the live channel
// /api/live that pushes it when it changed, at most ten times a second),
// the person's answers (POST /api/answer) and "Quit" (POST /api/quit), and
// passes the rest of /api/ to the routes of whoever runs the page. Every
// request passes CheckPageAccess first.
//
// Nothing here waits on a device or on the units' threads: the state is
// copied under PageState's brief lock and sent from this thread, and a
// browser that reads slowly only gets fewer, newer snapshots.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class PageState;

// What an API request answers.
struct PageReply {
    unsigned status = 200;
    nlohmann::json body = nlohmann::json::object();
};

// A request to the page's API that the server does not answer itself.
class PageRoutes {
public:
    virtual ~PageRoutes() = default;
    // name: "ports" for /api/ports; body: the request's JSON object (empty
    // for a GET). Runs on the server's thread: it starts work, it never
    // waits for a device.
    virtual PageReply Handle(const std::string& method, const std::string& name, const nlohmann::json& body) = 0;
};

class PageServer {
public:
    // routes may be null (a station's page); quit is called on "Quit".
    PageServer(PageState& state, PageRoutes* routes, std::function<void()> quit);
    ~PageServer();
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    // Listens on port (0: a free one) with a new token and starts serving;
    // false with the reason when it cannot.
    bool Start(uint16_t port, std::string& error);
    // The address a browser opens first: http://127.0.0.1:PORT/?token=...
    std::string Address() const;
    uint16_t Port() const;
    // Ends every connection and the thread; also done by the destructor.
    void Stop();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

// The largest request body the page takes; anything longer is refused (413).
constexpr size_t kPageBodyLimit = 4096;
