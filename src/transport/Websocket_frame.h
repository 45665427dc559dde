#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// One outgoing WebSocket frame (RFC 6455 section 5.2). A server sends its
// frames unmasked; masking exists for tests that play the client.
class Websocket_frame
{
public:
    enum Opcode : std::uint8_t {
        Continuation = 0x0,
        Text = 0x1,
        Binary = 0x2,
        Close = 0x8,
        Ping = 0x9,
        Pong = 0xA,
    };

    static Websocket_frame pong(const std::string &payload);
    // A code of 0 gives a close frame without a body.
    static Websocket_frame close(std::uint16_t code);

    // The whole frame as it goes on the wire.
    std::string encode() const;
    // One unmasked text frame, for encoding a broadcast once.
    static std::string encodeText(const std::string &payload);
    // Appends one unmasked text frame whose payload is `head` followed by
    // `body`, without building either in between.
    static void appendText(std::string &out, std::string_view head, std::string_view body);

    bool fin = true;
    std::uint8_t rsv = 0;
    std::uint8_t opcode = Text;
    bool masked = false;
    std::array<std::uint8_t, 4> maskKey{};
    std::string payload;

private:
    static void appendHeader(std::string &out, std::uint8_t first, bool masked, std::uint64_t size);
};
