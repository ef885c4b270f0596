#include "PageServer.h"

#include "PageConnections.h"
#include "PageToken.h"

namespace {

void Accept(PageServer::Impl& server, tcp::acceptor& acceptor)
{
    acceptor.async_accept([&server, &acceptor](beast::error_code error, tcp::socket socket) {
        if (error == net::error::operation_aborted || !acceptor.is_open())
            return;
        if (!error)
            ServeHttp(server, std::move(socket));
        Accept(server, acceptor);
    });
}

bool Listen(tcp::acceptor& acceptor, const tcp::endpoint& at, beast::error_code& error)
{
    acceptor.open(at.protocol(), error);
    if (!error && at.address().is_v6())
        acceptor.set_option(net::ip::v6_only(true), error);
#ifndef _WIN32
    // A restart on a fixed --gui-port while the last run's connections wait
    // out their TIME_WAIT (on Windows the option would let another program
    // take the port from under the page, so it stays off there).
    if (!error)
        acceptor.set_option(net::socket_base::reuse_address(true), error);
#endif
    if (!error)
        acceptor.bind(at, error);
    if (!error)
        acceptor.listen(net::socket_base::max_listen_connections, error);
    if (error && acceptor.is_open()) {
        beast::error_code ignored;
        acceptor.close(ignored);
    }
    return !error;
}

// The page's port on 127.0.0.1, and the same on ::1 where the system has
// IPv6 (a browser may try "localhost" there first).
bool ListenOnLoopback(PageServer::Impl& server, uint16_t port, std::string& error)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        beast::error_code failed;
        if (!Listen(server.v4, tcp::endpoint(net::ip::address_v4::loopback(), port), failed)) {
            error = "cannot serve the page on 127.0.0.1:" + std::to_string(port) + ": " + failed.message();
            return false;
        }
        const uint16_t bound = server.v4.local_endpoint().port();
        if (Listen(server.v6, tcp::endpoint(net::ip::address_v6::loopback(), bound), failed) ||
            failed != net::error::address_in_use) {
            server.key.port = bound;
            return true; // ::1 too, or no IPv6 here
        }
        if (port != 0) {
            error = "cannot serve the page on [::1]:" + std::to_string(port) + ": " + failed.message();
            return false;
        }
        server.v4.close(failed); // that free port is taken on ::1: another one
    }
    error = "cannot find a free port for the page on both 127.0.0.1 and ::1";
    return false;
}

} // namespace

PageServer::PageServer(PageState& state, PageRoutes* routes, std::function<void()> quit)
    : m_impl(std::make_unique<Impl>(state, routes, std::move(quit)))
{
}

PageServer::~PageServer() { Stop(); }

bool PageServer::Start(uint16_t port, std::string& error)
{
    m_impl->key.token = NewPageToken();
    if (m_impl->key.token.empty()) {
        error = "the system gave no random bytes for the page's token";
        return false;
    }
    if (!ListenOnLoopback(*m_impl, port, error))
        return false;
    Accept(*m_impl, m_impl->v4);
    if (m_impl->v6.is_open())
        Accept(*m_impl, m_impl->v6);
    m_impl->thread = std::thread([this] { m_impl->io.run(); });
    return true;
}

std::string PageServer::Address() const
{
    return "http://127.0.0.1:" + std::to_string(m_impl->key.port) + "/?token=" + m_impl->key.token;
}

uint16_t PageServer::Port() const { return m_impl->key.port; }

void PageServer::Stop()
{
    m_impl->io.stop();
    if (m_impl->thread.joinable())
        m_impl->thread.join();
    beast::error_code ignored;
    m_impl->v4.close(ignored);
    m_impl->v6.close(ignored);
}
