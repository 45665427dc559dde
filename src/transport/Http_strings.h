#pragma once

#include <string>
#include <vector>

// Text helpers of the WebSocket handshake.
namespace Http_strings {

// Pieces between delimiters: consecutive delimiters give empty pieces, a
// trailing delimiter gives no empty last piece, an empty text gives none.
std::vector<std::string> split(const std::string &text, char delimiter);
// Strips leading and trailing white space (as isspace classifies it) in place.
void trim(std::string &text);
// ASCII case-insensitive equality, embedded NUL bytes included.
bool equalsIgnoreCase(const std::string &a, const std::string &b);
// Comma-separated list element compared without regard to ASCII case
// (RFC 7230 section 7, RFC 6455 section 4.2.1).
bool listContainsToken(const std::string &list, const std::string &token, bool ignoreCase);

} // namespace Http_strings
