// The live channel: a WebSocket that gets the whole state whenever it
// changed, looked at every 100 ms (so at most ten messages a second). A
// message still on its way is never queued behind: the next look sends the
// state as it is then, so a slow browser gets fewer messages, never late
// ones, and nothing waits for it.

#include "PageConnections.h"
#include "PageState.h"

#include <chrono>

namespace {

constexpr auto kPushInterval = std::chrono::milliseconds(100);

class LiveChannel : public std::enable_shared_from_this<LiveChannel> {
public:
    LiveChannel(PageServer::Impl& server, beast::tcp_stream stream)
        : m_server(server), m_socket(std::move(stream)), m_timer(server.io)
    {
    }

    void Accept(PageRequest request)
    {
        m_request = std::move(request); // kept until the handshake is over
        beast::get_lowest_layer(m_socket).expires_never();
        m_socket.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        m_socket.read_message_max(1024);
        m_socket.async_accept(m_request, [self = shared_from_this()](beast::error_code error) {
            if (error)
                return;
            self->Listen();
            self->Look();
        });
    }

private:
    // The page says nothing on this channel; reading notices its close.
    void Listen()
    {
        m_socket.async_read(m_incoming, [self = shared_from_this()](beast::error_code error, size_t) {
            if (error) {
                self->m_bClosed = true;
                self->m_timer.cancel();
                return;
            }
            self->m_incoming.consume(self->m_incoming.size());
            self->Listen();
        });
    }

    void Look()
    {
        if (m_bClosed)
            return;
        const uint64_t sequence = m_server.state.Sequence();
        if (!m_bWriting && (sequence != m_sent || !m_bSentOnce)) {
            m_sent = sequence;
            m_bSentOnce = true;
            m_bWriting = true;
            m_message = m_server.state.Snapshot().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
            m_socket.text(true);
            m_socket.async_write(net::buffer(m_message), [self = shared_from_this()](beast::error_code error, size_t) {
                self->m_bWriting = false;
                if (error)
                    self->m_bClosed = true;
            });
        }
        m_timer.expires_after(kPushInterval);
        m_timer.async_wait([self = shared_from_this()](beast::error_code error) {
            if (!error)
                self->Look();
        });
    }

    PageServer::Impl& m_server;
    websocket::stream<beast::tcp_stream> m_socket;
    PageRequest m_request;
    net::steady_timer m_timer;
    beast::flat_buffer m_incoming;
    std::string m_message;
    uint64_t m_sent = 0;
    bool m_bSentOnce = false;
    bool m_bWriting = false;
    bool m_bClosed = false;
};

} // namespace

void ServeLive(PageServer::Impl& server, beast::tcp_stream stream, PageRequest request)
{
    std::make_shared<LiveChannel>(server, std::move(stream))->Accept(std::move(request));
}
