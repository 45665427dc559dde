#include "RecordingRelayClient.h"
#include "RelayCommands.h"

#include <cstdint>
#include <cstdlib>

// Any text a client can send: a packet is either dropped with no call at all,
// and a reason for the log, or carried out with exactly one.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static RecordingRelayClient client;
    client.calls.clear();
    const QString packet = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const Dispatch dispatch = dispatchCommand(client, packet);
    if (client.calls.size() != (dispatch ? 1 : 0))
        std::abort();
    if (!dispatch && describeRefusal(dispatch, packet).isEmpty())
        std::abort();
    return 0;
}
