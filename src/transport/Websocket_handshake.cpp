#include "Websocket_handshake.h"

#include "Base64.h"
#include "Http_constants.h"
#include "Http_strings.h"
#include "Sha1.h"

using namespace Http_strings;

namespace {

const char kSubprotocol[] = "relay-protocol";
// RFC 6455 section 1.3.
const char kAcceptGuid[] = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

} // namespace

Websocket_handshake::Result Websocket_handshake::feed(const char *data, std::size_t size)
{
    if (m_result != Result::Incomplete)
        return m_result;
    m_parser.setPauseAfterMessage(true);
    const bool withinBounds = m_parser.parse(data, size);
    Http_frame request;
    if (m_parser.takeCompleteFrame(request) && isWebsocketUpgrade(request)) {
        std::string key = request.headers().at("Sec-WebSocket-Key");
        trim(key);
        m_response = handshakeResponse(key);
        m_result = Result::Upgraded;
    } else if (!withinBounds || request.isComplete() || startLineUnusable()) {
        m_response = refusalResponse();
        m_result = Result::Refused;
    }
    return m_result;
}

bool Websocket_handshake::startLineUnusable()
{
    // The parser leaves an incomplete frame behind in HTTP_INIT when the first
    // line is neither a request nor a status line: this peer does not speak HTTP.
    return m_parser.state() == Http_parser::HTTP_INIT && !m_parser.frames().empty()
        && !m_parser.lastFrame().isComplete();
}

bool Websocket_handshake::isWebsocketUpgrade(const Http_frame &request)
{
    // RFC 6455 section 4.1: the opening handshake is a GET request.
    return request.method() == "GET" && isWebsocketUpgrade(request.headers());
}

bool Websocket_handshake::isWebsocketUpgrade(const Http_headers &headers)
{
    const auto upgrade = headers.find("Upgrade");
    const auto connection = headers.find("Connection");
    const auto protocol = headers.find("Sec-WebSocket-Protocol");
    // RFC 6455 section 4.2.1: "websocket" and "Upgrade" are compared without
    // regard to case; Connection may list other options, such as keep-alive.
    return upgrade != headers.end() && equalsIgnoreCase(upgrade->second, "websocket") && connection != headers.end()
        && listContainsToken(connection->second, "Upgrade", true) && protocol != headers.end()
        && listContainsToken(protocol->second, kSubprotocol, false) && headers.count("Sec-WebSocket-Key") != 0;
}

std::string Websocket_handshake::acceptKey(const std::string &key)
{
    const Sha1::Digest digest = Sha1::digest(key + kAcceptGuid);
    return Base64::encode(std::string(digest.begin(), digest.end()));
}

std::string Websocket_handshake::handshakeResponse(const std::string &key)
{
    return std::string("HTTP/1.1 101 Switching Protocols\r\n"
                       "Upgrade: websocket\r\n"
                       "Connection: Upgrade\r\n"
                       "Sec-WebSocket-Protocol: ")
        + kSubprotocol + "\r\nSec-WebSocket-Accept: " + acceptKey(key) + "\r\n\r\n";
}

std::string Websocket_handshake::refusalResponse()
{
    // RFC 6455 section 4.2.1: a request that is not a valid handshake gets an
    // HTTP error, not silence.
    return "HTTP/1.1 400 " + Http_constants::reasonPhrase(400) + "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
}
