#include "Http_parser.h"
#include "Websocket_handshake.h"

#include <cstdlib>

// The first byte chooses where the input is cut in two, so resuming a parse in
// the middle of a line, a header or a body is explored as well.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const std::size_t length = size - 1;
    const std::size_t cut = length == 0 ? 0 : data[0] % (length + 1);

    Http_parser parser;
    parser.parse(bytes, cut);
    parser.parse(bytes + cut, length - cut);
    if (parser.frames().size() > Http_parser::kMaxFrames)
        std::abort();
    for (const Http_frame &frame : parser.frames()) {
        if (frame.body().size() > Http_parser::kMaxMessageBytes)
            std::abort();
    }

    Websocket_handshake handshake;
    handshake.feed(bytes, cut);
    const auto result = handshake.feed(bytes + cut, length - cut);
    if (result != Websocket_handshake::Result::Incomplete && handshake.response().empty())
        std::abort();
    return 0;
}
