#include "Websocket_handshake.h"

#include <cstdint>
#include <cstdlib>

// The first byte chooses where the input is cut in two, so resuming in the
// middle of a line is explored as well. Cut or whole, the answer is the same;
// an upgrade or a refusal always has one, a request for a page is the same
// request, and the bytes kept behind an upgrade are exactly those that
// followed its head.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const std::size_t length = size - 1;
    const std::size_t cut = data[0] % (length + 1);

    Websocket_handshake whole;
    const auto expected = whole.feed(bytes, length);
    Websocket_handshake pieces;
    auto result = pieces.feed(bytes, cut);
    if (result == Websocket_handshake::Result::Incomplete)
        result = pieces.feed(bytes + cut, length - cut);
    if (result != expected || pieces.response() != whole.response())
        std::abort();
    // A request for a page is answered by the server's pages, not here.
    if (result == Websocket_handshake::Result::Request
        && (!whole.response().empty() || pieces.request().method != whole.request().method
            || pieces.request().target != whole.request().target))
        std::abort();
    if ((result == Websocket_handshake::Result::Upgraded || result == Websocket_handshake::Result::Refused)
        && (whole.response().rfind("HTTP/1.1 ", 0) != 0 || whole.response().size() < 20))
        std::abort();
    if (result == Websocket_handshake::Result::Upgraded) {
        const std::string rest = whole.takeRemainder();
        if (rest.size() > length || std::string(bytes + length - rest.size(), rest.size()) != rest)
            std::abort();
    }
    return 0;
}
