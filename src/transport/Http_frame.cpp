#include "Http_frame.h"

#include <algorithm>
#include <cctype>

bool Http_header_less::operator()(const std::string &a, const std::string &b) const
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

Http_frame &Http_frame::setStatusCode(int code)
{
    m_statusCode = code;
    return *this;
}

Http_frame &Http_frame::setComplete(bool complete)
{
    m_complete = complete;
    return *this;
}
