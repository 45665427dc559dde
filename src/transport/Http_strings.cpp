#include "Http_strings.h"

#include "Http_constants.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

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

bool isMethod(const std::string &word)
{
    return word == "GET" || word == "POST" || word == "PUT" || word == "DELETE";
}

bool isStatusCode(const std::string &word)
{
    if (word.empty())
        return false;
    if (std::any_of(word.begin(), word.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }))
        return false;
    errno = 0;
    const long value = std::strtol(word.c_str(), nullptr, 10);
    if (errno != 0)
        return false;
    const auto &table = Http_constants::statusCodes();
    return std::any_of(table.begin(), table.end(), [value](const statusCodeStruct &row) { return row.code == value; });
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
