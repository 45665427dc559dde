#pragma once

#include "Http_request.h"

#include <cstddef>
#include <string>
#include <string_view>

// Reads the head of one HTTP/1.1 request (RFC 7230 section 3) from bytes that
// arrive in pieces of any size, and keeps what follows the head for whoever
// speaks next on the connection. Bodies are not read: the one request this
// server answers has none. It reads strictly: lines end with CR LF, header
// fields are "name: value" with no white space before the colon and no
// folding, and anything else makes the request Malformed at once. The head is
// bounded by kMaxHeadBytes.
class Http_parser
{
public:
    enum class State {
        RequestLine,
        Headers,
        Complete,  // request() is whole; later bytes are kept as they come
        Malformed, // error() says why; all further input is ignored
    };

    static constexpr std::size_t kMaxHeadBytes = 16 * 1024;

    State parse(const char *data, std::size_t size);
    State parse(const std::string &bytes) { return parse(bytes.data(), bytes.size()); }

    State state() const { return m_state; }
    const Http_request &request() const { return m_request; }
    const char *error() const { return m_error; }
    // The bytes received behind a complete head; they are removed from the parser.
    std::string takeRemainder();

private:
    void parseLine(std::string_view line);
    void requestLine(std::string_view line);
    void headerLine(std::string_view line);
    void fail(const char *why);

    State m_state = State::RequestLine;
    std::string m_buffer;
    std::size_t m_headBytes = 0;
    Http_request m_request;
    const char *m_error = "";
};
