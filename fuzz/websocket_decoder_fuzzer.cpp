#include "Utf8_validator.h"
#include "Websocket_decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

// Decodes the input whole and cut in three at places the first two bytes
// choose: both must give the same events, no message may pass the bound, and
// every text message is UTF-8.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const char *bytes = reinterpret_cast<const char *>(data + 2);
    const std::size_t length = size - 2;
    std::size_t first = data[0] % (length + 1);
    std::size_t second = data[1] % (length + 1);
    if (first > second)
        std::swap(first, second);

    Websocket_decoder whole;
    const std::vector<Websocket_event> expected = whole.decode(bytes, length);

    Websocket_decoder pieces;
    std::vector<Websocket_event> events = pieces.decode(bytes, first);
    for (const auto &[from, to] : {std::pair{first, second}, std::pair{second, length}}) {
        const auto more = pieces.decode(bytes + from, to - from);
        events.insert(events.end(), more.begin(), more.end());
    }
    const auto same = [](const Websocket_event &a, const Websocket_event &b) {
        return a.type == b.type && a.payload == b.payload && a.closeCode == b.closeCode;
    };
    if (!std::equal(expected.begin(), expected.end(), events.begin(), events.end(), same))
        std::abort();
    for (const Websocket_event &event : events) {
        if (event.payload.size() > Websocket_decoder::kMaxMessageBytes)
            std::abort();
        if (event.type == Websocket_event::TextMessage
            && !Utf8_validator::isValid(event.payload.data(), event.payload.size()))
            std::abort();
    }
    return 0;
}
