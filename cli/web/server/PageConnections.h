#pragma once
// Inside the page's server: what its listener, its HTTP connections and its
// live channels share. Everything here runs on the server's one thread.

#include "PageAccess.h"
#include "PageServer.h"

#include <boost/asio.hpp>
#include <boost/beast.hpp>

#include <thread>

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;

struct PageServer::Impl {
    Impl(PageState& page, PageRoutes* routes, std::function<void()> onQuit)
        : state(page), pRoutes(routes), quit(std::move(onQuit))
    {
    }
    PageState& state;
    PageRoutes* pRoutes;
    std::function<void()> quit;
    PageAccessKey key;
    net::io_context io{1};
    tcp::acceptor v4{io};
    tcp::acceptor v6{io};
    std::thread thread;
};

using PageRequest = http::request<http::string_body>;

// One HTTP connection: requests in turn, each checked, until it closes.
void ServeHttp(PageServer::Impl& server, tcp::socket socket);
// The live channel on a connection whose request asked for it.
void ServeLive(PageServer::Impl& server, beast::tcp_stream stream, PageRequest request);

// The headers every answer carries: only this page's own files may run or
// load, it may not be framed, nothing is cached and no other site may read it.
template <class Message>
void SetPageHeaders(Message& message)
{
    message.set(http::field::server, "kestrune-update");
    message.set("Content-Security-Policy",
                "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
                "font-src 'self'; object-src 'none'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'");
    message.set("X-Content-Type-Options", "nosniff");
    message.set("X-Frame-Options", "DENY");
    message.set("Referrer-Policy", "no-referrer");
    message.set(http::field::cache_control, "no-store");
}
