#include "Websocket_client.h"

#include "Websocket_frame.h"

namespace {

// RFC 6455 section 7.4.1.
constexpr std::uint16_t kGoingAway = 1001;
constexpr std::uint16_t kProtocolError = 1002;
constexpr std::uint16_t kMessageTooBig = 1009;

} // namespace

Websocket_client::Websocket_client(Libressl_server *owner, struct tls *ctx, int fd, QObject *parent)
    : Libressl_socket(owner, ctx, fd, parent)
{}

void Websocket_client::registerMetaTypes()
{
    qRegisterMetaType<std::string>("std::string");
    qRegisterMetaType<Websocket_client *>("Websocket_client*");
}

bool Websocket_client::send(const std::string &text)
{
    return write(Websocket_frame::encodeText(text));
}

void Websocket_client::onConnected()
{
    setDeadline(m_upgradeTimeout);
}

void Websocket_client::onReadyRead(const char *data, std::size_t size)
{
    if (m_upgraded) {
        handle(m_decoder.decode(data, size));
        return;
    }
    const Websocket_handshake::Result result = m_handshake.feed(data, size);
    if (result == Websocket_handshake::Result::Incomplete)
        return;
    write(m_handshake.response());
    if (result == Websocket_handshake::Result::Refused) {
        finish();
        return;
    }
    m_upgraded = true;
    setDeadline(std::chrono::milliseconds::zero());
    emit websocket_connected(this);
    // A client that did not wait for the 101 response may have sent frames already.
    const std::string remainder = m_handshake.takeRemainder();
    if (!remainder.empty())
        handle(m_decoder.decode(remainder));
}

void Websocket_client::onDisconnected()
{
    emit websocket_disconnected(this);
}

void Websocket_client::onClosing()
{
    if (m_upgraded && !m_closeSent)
        closeWith(kGoingAway);
}

void Websocket_client::handle(const std::vector<Websocket_event> &events)
{
    for (const Websocket_event &event : events) {
        switch (event.type) {
        case Websocket_event::TextMessage:
        case Websocket_event::BinaryMessage: emit websocket_ready(this, event.payload); break;
        case Websocket_event::Ping:
            // RFC 6455 section 5.5.2: the pong carries the ping's payload.
            write(Websocket_frame::pong(event.payload).encode());
            break;
        case Websocket_event::Pong: break;
        case Websocket_event::Close:
            // Section 5.5.1: answer with a close frame, echoing the status code.
            closeWith(event.closeCode);
            break;
        case Websocket_event::TooBig: closeWith(kMessageTooBig); break;
        case Websocket_event::ProtocolError: closeWith(kProtocolError); break;
        }
    }
}

void Websocket_client::closeWith(std::uint16_t code)
{
    // RFC 6455 section 5.5.1: no data frame may follow a close frame, and the
    // owner's thread may be writing broadcasts at this very moment.
    writeLast(Websocket_frame::close(code).encode());
    m_closeSent = true;
    finish();
}
