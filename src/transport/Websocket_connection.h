#pragma once

#include "Websocket_decoder.h"
#include "Websocket_handshake.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What one WebSocket connection does with the bytes it receives, without a
// socket: the upgrade request first, then frames (RFC 6455). The connection
// thread feeds it what it reads and sends what it returns; the fuzzer does
// the same in memory. Pings are answered, close frames echoed, and a message
// over the decoder's bound, invalid text or a frame the RFC forbids close the
// connection with the matching status code. Bytes behind a request that was
// refused are never taken for frames. A request that asks for no upgrade is
// handed to the owner, whose answer ends the connection: one request per
// connection, and whatever follows it is ignored.
class Websocket_connection
{
public:
    struct Output
    {
        // To send, in this order.
        std::string bytes;
        // The bytes end the connection: nothing may follow them on the wire.
        bool last = false;
        // The upgrade completed in this call; the messages below came after it.
        bool upgraded = false;
        // Complete text and binary messages, in order.
        std::vector<std::string> messages;
        // Why the upgrade was refused, for the log; empty otherwise.
        std::string refusal;
        // A request for a page came in this call: the owner answers it.
        bool requested = false;
        Http_request request;

        void clear() { *this = Output(); }
    };

    // Before the first feed(): see Websocket_handshake.
    void setOriginPolicy(std::shared_ptr<const Origin_policy> policy)
    {
        m_handshake.setOriginPolicy(std::move(policy));
    }

    // Appends what the bytes give to out.
    void feed(const char *data, std::size_t size, Output &out);
    // The owner ends the connection: the close frame to send last, empty when
    // there is none to send (not upgraded, or a close was sent already).
    std::string goingAway();

    bool isUpgraded() const { return m_phase == Phase::Open || m_phase == Phase::Closed; }
    // Nothing more will be read: the upgrade was refused or a close was sent.
    bool isFinished() const { return m_phase == Phase::Closed; }

private:
    enum class Phase {
        Upgrading,
        Requested, // a page request went to the owner, whose answer is the last thing sent
        Open,
        Closed,
    };

    void decode(const char *data, std::size_t size, Output &out);
    void closeWith(std::uint16_t code, Output &out);

    Phase m_phase = Phase::Upgrading;
    Websocket_handshake m_handshake;
    Websocket_decoder m_decoder;
};
