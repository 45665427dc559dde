#pragma once

#include <cstdint>
#include <string>

// One thing the decoder found in the received bytes.
struct Websocket_event
{
    enum Type {
        TextMessage,   // payload: the whole message, fragments joined
        BinaryMessage, // payload: the whole message, fragments joined
        Ping,          // payload: to be echoed in a pong
        Pong,          // payload: ignored by the connection
        Close,         // closeCode: the peer's status code, 0 when it gave none
        TooBig,        // a payload or a fragmented message past the size bound
        ProtocolError, // a frame RFC 6455 does not allow, an unmasked client frame among them
        InvalidText,   // a text message or a close reason that is not UTF-8
    };

    Type type;
    std::string payload;
    std::uint16_t closeCode = 0;
};
