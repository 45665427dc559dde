#pragma once

#include "Http_parser.h"
#include "Origin_policy.h"

#include <cstddef>
#include <memory>
#include <string>

// The server side of the WebSocket opening handshake (RFC 6455 section 4.2):
// takes the bytes of the upgrade request as they come and answers once the
// request head is complete, or at once when it cannot become a valid one. A
// well-formed request that tries no upgrade at all (neither Upgrade nor
// Sec-WebSocket-Key) is left to the owner.
class Websocket_handshake
{
public:
    enum class Result {
        Incomplete, // more bytes needed
        Upgraded,   // response() is the 101 answer
        Refused,    // response() is the error answer; the connection ends
        Request,    // not an upgrade: request() is for the server's own pages
    };

    // Before the first feed(): the pages that may connect; without a call,
    // those of the loopback hosts only.
    void setOriginPolicy(std::shared_ptr<const Origin_policy> policy) { m_origins = std::move(policy); }

    Result feed(const char *data, std::size_t size);
    const std::string &response() const { return m_response; }
    const Http_request &request() const { return m_parser.request(); }
    // Why the request was refused, for the log.
    const std::string &refusal() const { return m_refusal; }
    // After Upgraded: the bytes the client sent behind its request, which
    // belong to the frame decoder.
    std::string takeRemainder() { return m_parser.takeRemainder(); }

    static std::string acceptKey(const std::string &key);

private:
    void answer(const Http_request &request);
    void refuse(int status, const std::string &why);

    Http_parser m_parser;
    std::shared_ptr<const Origin_policy> m_origins;
    Result m_result = Result::Incomplete;
    std::string m_response;
    std::string m_refusal;
};
