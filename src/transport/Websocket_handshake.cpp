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
const char kVersion[] = "13";
const Origin_policy kLoopbackOnly;

// A peer's text for the log: bounded, and with every byte that is not
// printable ASCII shown as \xHH, so it can neither flood nor forge a line.
std::string quoted(const std::string &text)
{
    constexpr std::size_t kMost = 120;
    static const char digits[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < kMost; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte >= 0x7f || byte == '"' || byte == '\\')
            out += std::string("\\x") + digits[byte >> 4] + digits[byte & 15];
        else
            out += text[i];
    }
    return out + (text.size() > kMost ? "\"..." : "\"");
}

} // namespace

Websocket_handshake::Result Websocket_handshake::feed(const char *data, std::size_t size)
{
    if (m_result != Result::Incomplete)
        return m_result;
    switch (m_parser.parse(data, size)) {
    case Http_parser::State::RequestLine:
    case Http_parser::State::Headers: break;
    case Http_parser::State::Malformed: refuse(400, m_parser.error()); break;
    case Http_parser::State::Complete: answer(m_parser.request()); break;
    }
    return m_result;
}

void Websocket_handshake::answer(const Http_request &request)
{
    // An HTTP/1.1 request this server can read at all (RFC 7230).
    if (request.version != "HTTP/1.1")
        return refuse(400, "HTTP version " + request.version);
    // Section 5.4: exactly one Host; two would have been joined with a comma.
    if (request.field("Host").empty() || request.field("Host").find(',') != std::string::npos)
        return refuse(400, "no single Host");
    if (request.has("Transfer-Encoding") || (request.has("Content-Length") && request.field("Content-Length") != "0"))
        return refuse(400, "a request with a body");
    // A request that tries no upgrade at all is for the server's own pages;
    // one that tries one, even without Upgrade, is judged as an upgrade.
    if (!request.has("Upgrade") && !request.has("Sec-WebSocket-Key")) {
        m_result = Result::Request;
        return;
    }

    // An upgrade to WebSocket (RFC 6455 section 4.2.1); "websocket" and
    // "Upgrade" are compared without regard to case, and Connection may list
    // other options, such as keep-alive.
    if (request.method != "GET")
        return refuse(400, "method " + request.method);
    if (!listContainsToken(request.field("Upgrade"), "websocket", true)
        || !listContainsToken(request.field("Connection"), "Upgrade", true)) {
        return refuse(400, "not a WebSocket upgrade");
    }
    // Section 4.2.2: a version the server does not speak gets 426 and the one it does.
    if (request.field("Sec-WebSocket-Version") != kVersion)
        return refuse(426, "WebSocket version " + quoted(request.field("Sec-WebSocket-Version")));
    // Exactly one key, which is 16 bytes in base64; two would have been joined.
    std::string nonce;
    if (!Base64::decode(request.field("Sec-WebSocket-Key"), nonce) || nonce.size() != 16)
        return refuse(400, "Sec-WebSocket-Key is not one base64 nonce of 16 bytes");
    if (!listContainsToken(request.field("Sec-WebSocket-Protocol"), kSubprotocol, false))
        return refuse(400, std::string("the subprotocol ") + kSubprotocol + " is not offered");
    // Section 10.2: a browser names the page that opens the connection, and
    // a page of a site that is not allowed gets 403 before anything it sends
    // reaches the hubs. Native clients send no Origin.
    const Origin_policy &origins = m_origins ? *m_origins : kLoopbackOnly;
    if (request.has("Origin") && !origins.allows(request.field("Origin")))
        return refuse(403, "origin " + quoted(request.field("Origin")) + " is not allowed (relay_allowed_origins)");

    m_result = Result::Upgraded;
    m_response = std::string("HTTP/1.1 101 Switching Protocols\r\n"
                             "Upgrade: websocket\r\n"
                             "Connection: Upgrade\r\n"
                             "Sec-WebSocket-Protocol: ")
        + kSubprotocol + "\r\nSec-WebSocket-Accept: " + acceptKey(request.field("Sec-WebSocket-Key")) + "\r\n\r\n";
}

void Websocket_handshake::refuse(int status, const std::string &why)
{
    m_result = Result::Refused;
    m_refusal = why;
    m_response = "HTTP/1.1 " + std::to_string(status) + " " + Http_constants::reasonPhrase(status) + "\r\n";
    // RFC 7231 section 6.5.15: a 426 names the protocol to upgrade to, which
    // RFC 7230 section 6.7 wants listed in Connection too; RFC 6455 section
    // 4.2.2 adds the version.
    if (status == 426)
        m_response += std::string("Upgrade: websocket\r\nConnection: Upgrade, close\r\nSec-WebSocket-Version: ")
            + kVersion + "\r\n";
    else
        m_response += "Connection: close\r\n";
    m_response += "Content-Length: 0\r\n\r\n";
}

std::string Websocket_handshake::acceptKey(const std::string &key)
{
    const Sha1::Digest digest = Sha1::digest(key + kAcceptGuid);
    return Base64::encode(std::string(digest.begin(), digest.end()));
}
