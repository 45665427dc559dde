#include "Websocket_decoder.h"

#include "Websocket_frame.h"

#include <algorithm>

namespace {

// RFC 6455 section 7.4: the codes a peer may send in a close frame.
bool isValidCloseCode(std::uint16_t code)
{
    if (code >= 3000 && code <= 4999)
        return true;
    return code >= 1000 && code <= 1014 && code != 1004 && code != 1005 && code != 1006;
}

} // namespace

void Websocket_decoder::reset()
{
    *this = Websocket_decoder(m_sender);
}

std::vector<Websocket_event> Websocket_decoder::decode(const char *data, std::size_t size)
{
    std::vector<Websocket_event> events;
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data);
    std::size_t i = 0;
    while (i < size && m_state != State::Finished) {
        switch (m_state) {
        case State::FirstByte:
            m_fin = (bytes[i] & 0x80) != 0;
            m_rsv = (bytes[i] >> 4) & 0x7;
            m_opcode = bytes[i] & 0xF;
            ++i;
            m_state = State::LengthByte;
            break;
        case State::LengthByte: {
            m_masked = (bytes[i] & 0x80) != 0;
            const std::uint8_t shortLength = bytes[i] & 0x7F;
            ++i;
            m_payloadLength = shortLength;
            m_lengthBytesRead = 0;
            m_lengthBytesWanted = shortLength == 126 ? 2 : shortLength == 127 ? 8 : 0;
            if (m_lengthBytesWanted > 0) {
                m_payloadLength = 0;
                m_state = State::ExtendedLength;
            } else {
                headerComplete(events);
            }
            break;
        }
        case State::ExtendedLength:
            m_payloadLength = m_payloadLength << 8 | bytes[i++];
            if (++m_lengthBytesRead == m_lengthBytesWanted)
                headerComplete(events);
            break;
        case State::MaskKey:
            m_maskKey[m_maskBytesRead++] = bytes[i++];
            if (m_maskBytesRead == m_maskKey.size()) {
                if (m_payloadLength == 0)
                    frameComplete(events);
                else
                    m_state = State::Payload;
            }
            break;
        case State::Payload: {
            const std::size_t start = m_payload.size();
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(m_payloadLength - start, size - i));
            m_payload.append(data + i, take);
            i += take;
            if (m_masked) {
                for (std::size_t k = start; k < m_payload.size(); ++k)
                    m_payload[k] = static_cast<char>(m_payload[k] ^ static_cast<char>(m_maskKey[k % 4]));
            }
            // RFC 6455 section 8.1: invalid text fails the connection as soon
            // as it is seen, not when the message ends.
            if (m_isText && !m_utf8.feed(m_payload.data() + start, take)) {
                finish(events, Websocket_event::InvalidText);
                break;
            }
            if (m_payload.size() == m_payloadLength)
                frameComplete(events);
            break;
        }
        case State::Finished: break;
        }
    }
    return events;
}

void Websocket_decoder::headerComplete(std::vector<Websocket_event> &events)
{
    // RFC 6455 section 5.2: no extension was negotiated, so RSV must be 0, and
    // opcodes 3-7 and B-F are reserved.
    const bool knownOpcode = m_opcode <= Websocket_frame::Binary
        || (m_opcode >= Websocket_frame::Close && m_opcode <= Websocket_frame::Pong);
    // Section 5.2: the most significant bit of a 64-bit length must be 0.
    // Section 5.5: control frames are not fragmented and carry at most 125 bytes.
    // Section 5.4: a continuation needs a message to continue, and a new data
    // message may not start inside another.
    // Section 5.1: a server closes the connection on an unmasked client frame.
    if (m_rsv != 0 || !knownOpcode || (m_payloadLength >> 63) != 0 || (m_sender == Sender::Client && !m_masked)
        || (isControl(m_opcode) && (!m_fin || m_payloadLength > 125))
        || (m_opcode == Websocket_frame::Continuation && m_messageOpcode == 0)
        || ((m_opcode == Websocket_frame::Text || m_opcode == Websocket_frame::Binary) && m_messageOpcode != 0)) {
        finish(events, Websocket_event::ProtocolError);
        return;
    }
    // The bound is checked before any of the payload is kept.
    if (!isControl(m_opcode) && m_message.size() + m_payloadLength > kMaxMessageBytes) {
        finish(events, Websocket_event::TooBig);
        return;
    }
    m_isText = m_opcode == Websocket_frame::Text
        || (m_opcode == Websocket_frame::Continuation && m_messageOpcode == Websocket_frame::Text);
    m_payload.clear();
    m_payload.reserve(static_cast<std::size_t>(m_payloadLength));
    m_maskBytesRead = 0;
    if (m_masked)
        m_state = State::MaskKey;
    else if (m_payloadLength == 0)
        frameComplete(events);
    else
        m_state = State::Payload;
}

void Websocket_decoder::frameComplete(std::vector<Websocket_event> &events)
{
    m_state = State::FirstByte;
    switch (m_opcode) {
    case Websocket_frame::Ping: events.push_back({Websocket_event::Ping, std::move(m_payload), 0}); break;
    case Websocket_frame::Pong: events.push_back({Websocket_event::Pong, std::move(m_payload), 0}); break;
    case Websocket_frame::Close: {
        // Section 5.5.1: a body, when present, starts with a 2-byte status code.
        if (m_payload.size() == 1) {
            finish(events, Websocket_event::ProtocolError);
            break;
        }
        std::uint16_t code = 0;
        if (m_payload.size() >= 2) {
            code = static_cast<std::uint16_t>(static_cast<std::uint8_t>(m_payload[0]) << 8
                                              | static_cast<std::uint8_t>(m_payload[1]));
            if (!isValidCloseCode(code)) {
                finish(events, Websocket_event::ProtocolError);
                break;
            }
            // Section 5.5.1: the reason that may follow the code is UTF-8.
            if (!Utf8_validator::isValid(m_payload.data() + 2, m_payload.size() - 2)) {
                finish(events, Websocket_event::InvalidText);
                break;
            }
        }
        finish(events, Websocket_event::Close, code);
        break;
    }
    default:
        if (m_opcode != Websocket_frame::Continuation)
            m_messageOpcode = m_opcode;
        m_message += m_payload;
        if (m_fin) {
            if (m_messageOpcode == Websocket_frame::Text && !m_utf8.isComplete()) {
                finish(events, Websocket_event::InvalidText);
                break;
            }
            m_utf8.reset();
            const auto type = m_messageOpcode == Websocket_frame::Text ? Websocket_event::TextMessage
                                                                       : Websocket_event::BinaryMessage;
            events.push_back({type, std::move(m_message), 0});
            m_message.clear();
            m_messageOpcode = 0;
        }
        break;
    }
    m_payload.clear();
}

void Websocket_decoder::finish(std::vector<Websocket_event> &events, Websocket_event::Type type,
                               std::uint16_t closeCode)
{
    events.push_back({type, std::string(), closeCode});
    m_state = State::Finished;
    m_payload.clear();
    m_payload.shrink_to_fit();
    m_message.clear();
    m_message.shrink_to_fit();
}
