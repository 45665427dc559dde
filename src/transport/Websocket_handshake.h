#pragma once

#include "Http_parser.h"

#include <cstddef>
#include <string>

// The server side of the WebSocket opening handshake (RFC 6455 section 4.2):
// takes the bytes of the upgrade request as they come and decides once the
// request is complete.
class Websocket_handshake
{
public:
    enum class Result {
        Incomplete, // more bytes needed
        Upgraded,   // response() is the 101 answer
        Refused,    // response() is the error answer; the connection ends
    };

    Result feed(const char *data, std::size_t size);
    const std::string &response() const { return m_response; }
    // Bytes the client sent behind its request, which belong to the frame decoder.
    std::string takeRemainder() { return m_parser.takeUnparsed(); }

    static bool isWebsocketUpgrade(const Http_frame &request);
    static bool isWebsocketUpgrade(const Http_headers &headers);
    static std::string acceptKey(const std::string &key);
    static std::string handshakeResponse(const std::string &key);
    static std::string refusalResponse();

private:
    bool startLineUnusable();

    Http_parser m_parser;
    Result m_result = Result::Incomplete;
    std::string m_response;
};
