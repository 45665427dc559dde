#pragma once

#include <map>
#include <string>

// Field names are case-insensitive (RFC 7230 section 3.2), so the map orders
// and finds them without regard to ASCII case; the spelling first seen is kept.
struct Http_header_less
{
    bool operator()(const std::string &a, const std::string &b) const;
};

using Http_headers = std::map<std::string, std::string, Http_header_less>;

// The head of one HTTP request: its request line and its header fields.
struct Http_request
{
    std::string method;
    std::string target;
    std::string version;
    // A field sent more than once holds its values joined by ", " in the
    // order they came (RFC 7230 section 3.2.2).
    Http_headers headers;

    bool has(const std::string &name) const { return headers.count(name) != 0; }
    // The value of a field, empty when it is absent.
    const std::string &field(const std::string &name) const;
};
