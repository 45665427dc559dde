#include "PenSample.h"

#include <charconv>

namespace bench {

std::string PenSample::penCommand(std::int64_t seq)
{
    return "pen 0 1 " + std::to_string(x(seq)) + ' ' + std::to_string(y(seq)) + " 1 0\n";
}

std::string PenSample::warmupCommand(int n)
{
    return "pen 0 1 " + std::to_string(1 + n % kRowLength) + ' ' + std::to_string(kWarmupRow) + " 1 0\n";
}

std::string PenSample::strokeCommand(std::int64_t first, int steps)
{
    const std::int64_t last = first + steps - 1;
    return "stroke 0 1 " + std::to_string(x(first)) + ' ' + std::to_string(y(first)) + ' ' + std::to_string(x(last))
        + ' ' + std::to_string(y(last)) + ' ' + std::to_string(steps) + '\n';
}

std::int64_t PenSample::strokeStart(std::int64_t seq, int steps)
{
    if (seq % kRowLength + steps <= kRowLength)
        return seq;
    return (seq / kRowLength + 1) * kRowLength;
}

namespace {

// The next comma-separated field of text from pos on.
bool nextField(std::string_view text, std::size_t &pos, std::string_view &field)
{
    if (pos > text.size())
        return false;
    const std::size_t comma = text.find(',', pos);
    const std::size_t end = comma == std::string_view::npos ? text.size() : comma;
    field = text.substr(pos, end - pos);
    pos = end + 1;
    return true;
}

bool toInt(std::string_view field, int &value)
{
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return error == std::errc() && end == field.data() + field.size();
}

} // namespace

bool parsePenFrame(std::string_view text, PenFrame &frame)
{
    std::size_t pos = 0;
    std::string_view field;
    // address, keyword, id, timestamp
    if (!nextField(text, pos, field) || !nextField(text, pos, field) || field != "pen")
        return false;
    if (!nextField(text, pos, field) || !nextField(text, pos, field))
        return false;
    std::string_view x, y, tip;
    return nextField(text, pos, x) && nextField(text, pos, y) && nextField(text, pos, tip) && toInt(x, frame.x)
        && toInt(y, frame.y) && toInt(tip, frame.tip);
}

std::string_view frameAddress(std::string_view text)
{
    return text.substr(0, text.find(','));
}

} // namespace bench
