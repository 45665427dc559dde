#pragma once

#include "Utf8_validator.h"
#include "Websocket_event.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Decodes the frames a client sends (RFC 6455 section 5). It takes bytes as
// they arrive, in pieces of any size, and returns every event completed by
// them, each message on its own. A frame in progress is kept for the next call.
// After Close, TooBig, ProtocolError or InvalidText the decoder has finished:
// the connection ends, so further bytes are ignored. Text is checked for UTF-8
// as it arrives, across fragments.
class Websocket_decoder
{
public:
    static constexpr std::size_t kMaxMessageBytes = 1024 * 1024;

    // A server decodes what clients send, which RFC 6455 section 5.1 wants
    // masked; a client (in tests) decodes unmasked server frames.
    enum class Sender {
        Client,
        Server,
    };
    explicit Websocket_decoder(Sender sender = Sender::Client)
        : m_sender(sender)
    {}

    std::vector<Websocket_event> decode(const char *data, std::size_t size);
    std::vector<Websocket_event> decode(const std::string &bytes) { return decode(bytes.data(), bytes.size()); }

    bool isFinished() const { return m_state == State::Finished; }
    void reset();

private:
    enum class State {
        FirstByte,
        LengthByte,
        ExtendedLength,
        MaskKey,
        Payload,
        Finished,
    };

    void headerComplete(std::vector<Websocket_event> &events);
    void frameComplete(std::vector<Websocket_event> &events);
    void finish(std::vector<Websocket_event> &events, Websocket_event::Type type, std::uint16_t closeCode = 0);
    static bool isControl(std::uint8_t opcode) { return (opcode & 0x8) != 0; }

    Sender m_sender;
    State m_state = State::FirstByte;
    bool m_fin = false;
    std::uint8_t m_rsv = 0;
    std::uint8_t m_opcode = 0;
    bool m_masked = false;
    std::uint64_t m_payloadLength = 0;
    std::size_t m_lengthBytesWanted = 0;
    std::size_t m_lengthBytesRead = 0;
    std::array<std::uint8_t, 4> m_maskKey{};
    std::size_t m_maskBytesRead = 0;
    std::string m_payload;
    // A fragmented data message in progress: its opcode (0 when none) and text.
    std::uint8_t m_messageOpcode = 0;
    std::string m_message;
    // The frame being read belongs to a text message.
    bool m_isText = false;
    Utf8_validator m_utf8;
};
