#include "Base64.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

std::string Base64::encode(const std::string &bytes)
{
    const char *alphabet = kAlphabet;
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16
            | static_cast<std::uint8_t>(bytes[i + 1]) << 8 | static_cast<std::uint8_t>(bytes[i + 2]);
        out += alphabet[(group >> 18) & 63];
        out += alphabet[(group >> 12) & 63];
        out += alphabet[(group >> 6) & 63];
        out += alphabet[group & 63];
    }
    const std::size_t left = bytes.size() - i;
    if (left > 0) {
        std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (left == 2)
            group |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        out += alphabet[(group >> 18) & 63];
        out += alphabet[(group >> 12) & 63];
        out += left == 2 ? alphabet[(group >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

bool Base64::decode(const std::string &text, std::string &bytes)
{
    bytes.clear();
    if (text.size() % 4 != 0)
        return false;
    const std::size_t padding = text.size() - std::min(text.size(), text.find_last_not_of('=') + 1);
    if (padding > 2)
        return false;
    std::uint32_t group = 0;
    int bits = 0;
    for (std::size_t i = 0; i + padding < text.size(); ++i) {
        const char *found = text[i] != '\0' ? std::strchr(kAlphabet, text[i]) : nullptr;
        if (found == nullptr)
            return false;
        group = group << 6 | static_cast<std::uint32_t>(found - kAlphabet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((group >> bits) & 0xFF);
        }
    }
    // Only the canonical form: the same bytes must encode to the same text.
    return encode(bytes) == text;
}
