#pragma once

#include <string>

// Base64 encoding with the standard alphabet and "=" padding (RFC 4648 section 4).
class Base64
{
public:
    static std::string encode(const std::string &bytes);
};
