#include "Http_strings.h"

#include <algorithm>
#include <cctype>

namespace Http_strings {

std::vector<std::string> split(const std::string &text, char delimiter)
{
    std::vector<std::string> pieces;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find(delimiter, begin);
        if (end == std::string::npos)
            end = text.size();
        pieces.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return pieces;
}

void trim(std::string &text)
{
    auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
    text = first < last ? std::string(first, last) : std::string();
}

bool equalsIgnoreCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool listContainsToken(const std::string &list, const std::string &token, bool ignoreCase)
{
    for (std::string element : split(list, ',')) {
        trim(element);
        if (ignoreCase ? equalsIgnoreCase(element, token) : element == token)
            return true;
    }
    return false;
}

} // namespace Http_strings
