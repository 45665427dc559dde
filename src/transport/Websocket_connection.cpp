#include "Websocket_connection.h"

#include "Websocket_frame.h"

namespace {

// RFC 6455 section 7.4.1.
constexpr std::uint16_t kGoingAway = 1001;
constexpr std::uint16_t kProtocolError = 1002;
constexpr std::uint16_t kInvalidData = 1007;
constexpr std::uint16_t kMessageTooBig = 1009;

} // namespace

void Websocket_connection::feed(const char *data, std::size_t size, Output &out)
{
    switch (m_phase) {
    case Phase::Open: decode(data, size, out); return;
    case Phase::Requested:
    case Phase::Closed: return;
    case Phase::Upgrading: break;
    }
    const Websocket_handshake::Result result = m_handshake.feed(data, size);
    if (result == Websocket_handshake::Result::Incomplete)
        return;
    if (result == Websocket_handshake::Result::Request) {
        m_phase = Phase::Requested;
        out.requested = true;
        out.request = m_handshake.request();
        return;
    }
    out.bytes += m_handshake.response();
    if (result == Websocket_handshake::Result::Refused) {
        out.last = true;
        out.refusal = m_handshake.refusal();
        m_phase = Phase::Closed;
        return;
    }
    m_phase = Phase::Open;
    out.upgraded = true;
    // A client that did not wait for the 101 response may have sent frames already.
    const std::string remainder = m_handshake.takeRemainder();
    decode(remainder.data(), remainder.size(), out);
}

std::string Websocket_connection::goingAway()
{
    if (m_phase != Phase::Open)
        return {};
    m_phase = Phase::Closed;
    return Websocket_frame::close(kGoingAway).encode();
}

void Websocket_connection::decode(const char *data, std::size_t size, Output &out)
{
    for (Websocket_event &event : m_decoder.decode(data, size)) {
        switch (event.type) {
        case Websocket_event::TextMessage:
        case Websocket_event::BinaryMessage: out.messages.push_back(std::move(event.payload)); break;
        case Websocket_event::Ping:
            // RFC 6455 section 5.5.2: the pong carries the ping's payload.
            out.bytes += Websocket_frame::pong(event.payload).encode();
            break;
        case Websocket_event::Pong: break;
        // Section 5.5.1: a close is answered with a close, echoing the status code.
        case Websocket_event::Close: closeWith(event.closeCode, out); break;
        case Websocket_event::TooBig: closeWith(kMessageTooBig, out); break;
        case Websocket_event::ProtocolError: closeWith(kProtocolError, out); break;
        case Websocket_event::InvalidText: closeWith(kInvalidData, out); break;
        }
    }
}

void Websocket_connection::closeWith(std::uint16_t code, Output &out)
{
    // Section 5.5.1: no data frame may follow a close frame.
    out.bytes += Websocket_frame::close(code).encode();
    out.last = true;
    m_phase = Phase::Closed;
}
