#pragma once

#include <string>

// Base64 encoding with the standard alphabet and "=" padding (RFC 4648 section 4).
class Base64
{
public:
    static std::string encode(const std::string &bytes);
    // False for anything but the canonical encoding of some bytes: the
    // alphabet, padding only at the end, unused bits zero.
    static bool decode(const std::string &text, std::string &bytes);
};
