#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Pen samples carry a sequence number in their coordinates, so every arrival
// can be matched to the trigger that caused it. Coordinates stay inside the
// window the clients announce (0 to 32766 on both axes once the screen is
// 32767 wide), and every sample is pen 1 with the tip down: the relay neither
// drops nor throttles any of them.
namespace bench {

struct PenFrame
{
    int x = 0;
    int y = 0;
    int tip = 0;
};

class PenSample
{
public:
    static constexpr int kRowLength = 30000;
    // Warm-up samples use a row that no sequence number reaches.
    static constexpr int kWarmupRow = 32000;

    static int x(std::int64_t seq) { return 1 + static_cast<int>(seq % kRowLength); }
    static int y(std::int64_t seq) { return 1 + static_cast<int>(seq / kRowLength); }
    static std::int64_t seq(const PenFrame &frame) { return std::int64_t(frame.y - 1) * kRowLength + (frame.x - 1); }
    static bool isWarmup(const PenFrame &frame) { return frame.y == kWarmupRow; }

    // "pen HUB ID X Y TIP BARREL" with the tip down.
    static std::string penCommand(std::int64_t seq);
    static std::string warmupCommand(int n);
    // A stroke of `steps` tip-down samples with consecutive sequence numbers
    // from `first` on one row, followed by one tip-up sample at the last point:
    // steps + 1 frames. `first` must leave room on its row.
    static std::string strokeCommand(std::int64_t first, int steps);
    // Where the next stroke of `steps` samples can start at or after `seq`.
    static std::int64_t strokeStart(std::int64_t seq, int steps);
};

// Reads "<address>,pen,<id>,<ms>,<x>,<y>,<tip>,<barrel>"; false for any other
// message (the 5 s keep-alive, for instance).
bool parsePenFrame(std::string_view text, PenFrame &frame);
// The address in front of the first comma.
std::string_view frameAddress(std::string_view text);

} // namespace bench
