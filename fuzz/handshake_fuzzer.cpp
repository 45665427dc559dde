#include "Websocket_handshake.h"

#include <cstdint>
#include <cstdlib>

// The first byte chooses where the input is cut in two, so resuming in the
// middle of a line is explored as well. Cut or whole, the answer is the same;
// a decided request always has one, and the bytes kept behind an upgrade are
// exactly those that followed its head.
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
    if (result != Websocket_handshake::Result::Incomplete
        && (whole.response().rfind("HTTP/1.1 ", 0) != 0 || whole.response().size() < 20))
        std::abort();
    if (result == Websocket_handshake::Result::Upgraded) {
        const std::string rest = whole.takeRemainder();
        if (rest.size() > length || std::string(bytes + length - rest.size(), rest.size()) != rest)
            std::abort();
    }
    return 0;
}
