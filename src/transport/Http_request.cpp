#include "Http_request.h"

#include <algorithm>
#include <cctype>

bool Http_header_less::operator()(const std::string &a, const std::string &b) const
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

const std::string &Http_request::field(const std::string &name) const
{
    static const std::string none;
    const auto found = headers.find(name);
    return found == headers.end() ? none : found->second;
}
