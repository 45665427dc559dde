#include "Websocket_frame.h"

Websocket_frame Websocket_frame::pong(const std::string &payload)
{
    Websocket_frame frame;
    frame.opcode = Pong;
    frame.payload = payload;
    return frame;
}

Websocket_frame Websocket_frame::close(std::uint16_t code)
{
    Websocket_frame frame;
    frame.opcode = Close;
    if (code != 0) {
        frame.payload += static_cast<char>(code >> 8);
        frame.payload += static_cast<char>(code & 0xFF);
    }
    return frame;
}

std::string Websocket_frame::encodeText(const std::string &payload)
{
    std::string out;
    appendText(out, payload, {});
    return out;
}

void Websocket_frame::appendText(std::string &out, std::string_view head, std::string_view body)
{
    out.reserve(out.size() + head.size() + body.size() + 10);
    appendHeader(out, 0x80 | Text, false, head.size() + body.size());
    out += head;
    out += body;
}

void Websocket_frame::appendHeader(std::string &out, std::uint8_t first, bool masked, std::uint64_t size)
{
    out += static_cast<char>(first);
    const char maskBit = masked ? static_cast<char>(0x80) : 0;
    // RFC 6455 section 5.2: the shortest of the three length forms.
    if (size <= 125) {
        out += static_cast<char>(maskBit | static_cast<char>(size));
    } else if (size <= 0xFFFF) {
        out += static_cast<char>(maskBit | 126);
        out += static_cast<char>(size >> 8);
        out += static_cast<char>(size & 0xFF);
    } else {
        out += static_cast<char>(maskBit | 127);
        for (int shift = 56; shift >= 0; shift -= 8)
            out += static_cast<char>((size >> shift) & 0xFF);
    }
}

std::string Websocket_frame::encode() const
{
    std::string out;
    out.reserve(payload.size() + 14);
    appendHeader(out, static_cast<std::uint8_t>((fin ? 0x80 : 0) | (rsv & 0x7) << 4 | (opcode & 0xF)), masked,
                 payload.size());
    if (!masked)
        return out + payload;
    for (std::uint8_t byte : maskKey)
        out += static_cast<char>(byte);
    for (std::size_t i = 0; i < payload.size(); ++i)
        out += static_cast<char>(payload[i] ^ static_cast<char>(maskKey[i % 4]));
    return out;
}
