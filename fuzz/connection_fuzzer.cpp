#include "RecordingRelayClient.h"
#include "RelayCommands.h"
#include "Websocket_connection.h"

#include <cstdint>
#include <cstdlib>

// Bytes from a peer through a whole connection, as the relay handles them:
// the upgrade, the frame decoder and the command dispatcher, in pieces whose
// sizes the first byte chooses. Nothing follows the bytes that end the
// connection, and no message comes before the upgrade.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    static RecordingRelayClient client;
    const std::size_t piece = 1 + data[0] % 64;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const std::size_t length = size - 1;

    Websocket_connection connection;
    Websocket_connection::Output out;
    bool ended = false;
    bool answered = false;
    for (std::size_t offset = 0; offset < length; offset += piece) {
        out.clear();
        connection.feed(bytes + offset, std::min(piece, length - offset), out);
        if (ended && (!out.bytes.empty() || !out.messages.empty()))
            std::abort();
        if (!answered && !out.bytes.empty()) {
            if (out.bytes.rfind("HTTP/1.1 ", 0) != 0)
                std::abort();
            answered = true;
        }
        if (!out.messages.empty() && !connection.isUpgraded())
            std::abort();
        for (const std::string &message : out.messages) {
            client.calls.clear();
            dispatchCommand(client, QString::fromStdString(message));
        }
        ended = ended || out.last;
    }
    if (connection.isFinished() != ended)
        std::abort();
    return 0;
}
