// One HTTP connection of the page: each request read within limits, checked
// by CheckPageAccess, then served: a file, the state, an answer, "Quit", a
// route of the page's owner, or the live channel.

#include "PageAssets.h"
#include "PageConnections.h"
#include "PageState.h"

#include <chrono>
#include <optional>

namespace {

constexpr auto kIdleLimit = std::chrono::seconds(30);

using Response = http::response<http::string_body>;

std::string JsonText(const nlohmann::json& value)
{
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

Response JsonResponse(unsigned status, const nlohmann::json& body, unsigned version)
{
    Response response{static_cast<http::status>(status), version};
    SetPageHeaders(response);
    response.set(http::field::content_type, "application/json");
    response.body() = JsonText(body);
    return response;
}

Response ErrorResponse(unsigned status, const std::string& message, unsigned version)
{
    return JsonResponse(status, nlohmann::json{{"error", message}}, version);
}

class HttpConnection : public std::enable_shared_from_this<HttpConnection> {
public:
    HttpConnection(PageServer::Impl& server, tcp::socket socket) : m_server(server), m_stream(std::move(socket)) {}

    void Read()
    {
        m_parser.emplace();
        m_parser->body_limit(kPageBodyLimit);
        m_parser->header_limit(8192);
        m_stream.expires_after(kIdleLimit);
        http::async_read(m_stream, m_buffer, *m_parser,
                         [self = shared_from_this()](beast::error_code error, size_t) { self->Received(error); });
    }

private:
    void Received(beast::error_code error)
    {
        if (error == http::error::body_limit || error == http::error::header_limit) {
            m_bClose = true;
            return Send(ErrorResponse(413, "The request is larger than this page takes.", 11));
        }
        if (error)
            return Close();
        PageRequest request = m_parser->release();
        m_bClose = !request.keep_alive();
        const PageRequestFacts facts{
            std::string(request.method_string()),      std::string(request.target()),
            std::string(request[http::field::host]),   std::string(request[http::field::origin]),
            std::string(request[http::field::cookie]), websocket::is_upgrade(request)};
        const PageAccessDecision access = CheckPageAccess(facts, m_server.key);
        if (access.verdict == PageAccessVerdict::Refuse)
            return Send(ErrorResponse(access.status, access.message, request.version()));
        if (access.verdict == PageAccessVerdict::SetCookieAndGo) {
            Response response{http::status::see_other, request.version()};
            SetPageHeaders(response);
            response.set(http::field::location, access.location);
            response.set(http::field::set_cookie, access.setCookie);
            return Send(std::move(response));
        }
        if (facts.bUpgrade && access.path == "/api/live")
            return ServeLive(m_server, std::move(m_stream), std::move(request));
        Send(Serve(request, access.path));
    }

    Response Serve(const PageRequest& request, const std::string& path)
    {
        const unsigned version = request.version();
        const bool post = request.method() == http::verb::post;
        if (path.rfind("/api/", 0) != 0) {
            const PageAsset* asset = post ? nullptr : FindPageAsset(path);
            if (!asset)
                return ErrorResponse(404, "This page has nothing at " + path + ".", version);
            Response response{http::status::ok, version};
            SetPageHeaders(response);
            response.set(http::field::content_type, asset->type);
            response.body().assign(reinterpret_cast<const char*>(asset->bytes), asset->size);
            return response;
        }
        nlohmann::json body = nlohmann::json::object();
        if (post && !request.body().empty()) {
            body = nlohmann::json::parse(request.body(), nullptr, false);
            if (body.is_discarded() || !body.is_object())
                return ErrorResponse(400, "The request's body is no JSON object.", version);
        }
        const std::string name = path.substr(5);
        if (name == "state" && !post)
            return JsonResponse(200, m_server.state.Snapshot(), version);
        if (name == "answer" && post) {
            const auto answer = body.find("answer");
            if (answer == body.end() || !answer->is_string() || !m_server.state.Answer(answer->get<std::string>()))
                return ErrorResponse(400, "That answer is not one the question offers.", version);
            return JsonResponse(200, nlohmann::json::object(), version);
        }
        if (name == "quit" && post) {
            m_server.quit();
            return JsonResponse(200, nlohmann::json{{"quitting", true}}, version);
        }
        if (!m_server.pRoutes || name == "state" || name == "answer" || name == "quit" || name == "live")
            return ErrorResponse(post ? 405 : 404,
                                 "This page has no " + path + " for a " + std::string(request.method_string()) + ".",
                                 version);
        const PageReply reply = m_server.pRoutes->Handle(std::string(request.method_string()), name, body);
        return JsonResponse(reply.status, reply.body, version);
    }

    void Send(Response response)
    {
        response.keep_alive(!m_bClose);
        response.prepare_payload();
        m_response = std::move(response);
        http::async_write(m_stream, *m_response, [self = shared_from_this()](beast::error_code error, size_t) {
            if (error || self->m_bClose)
                return self->Close();
            self->Read();
        });
    }

    void Close()
    {
        beast::error_code ignored;
        m_stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    }

    PageServer::Impl& m_server;
    beast::tcp_stream m_stream;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::optional<Response> m_response;
    bool m_bClose = false;
};

} // namespace

void ServeHttp(PageServer::Impl& server, tcp::socket socket)
{
    std::make_shared<HttpConnection>(server, std::move(socket))->Read();
}
