#pragma once

#include "Http_frame.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

// Turns received bytes into HTTP messages, line by line. Bytes that do not yet
// make a whole line are kept for the next call, so a message may arrive in any
// number of pieces. Memory is bounded: a message larger than kMaxMessageBytes
// or more than kMaxFrames unclaimed messages put the parser in HTTP_REFUSED,
// where it ignores all further input.
class Http_parser
{
public:
    enum State {
        HTTP_INIT = 0,
        HTTP_VERSION = 1, // the treatment of a start line; never stored
        HTTP_HEADERS = 2,
        HTTP_BODY = 3,
        HTTP_REFUSED = 4,
    };

    static constexpr std::size_t kMaxMessageBytes = 16 * 1024;
    static constexpr std::size_t kMaxFrames = 32;

    // Returns false once the parser is in HTTP_REFUSED.
    bool parse(const char *data, std::size_t size);
    bool parse(const std::string &bytes) { return parse(bytes.data(), bytes.size()); }

    // With this set, parsing pauses after each complete message and keeps the
    // bytes behind it, for a caller that hands them to another protocol.
    void setPauseAfterMessage(bool pause) { m_pauseAfterMessage = pause; }
    // Bytes received but not yet parsed; they are removed from the parser.
    std::string takeUnparsed();

    State state() const { return m_state; }
    // The frames begun since the last ones were taken; the last one is being filled.
    std::deque<Http_frame> &frames() { return m_frames; }
    // Precondition: frames() is not empty.
    Http_frame &lastFrame() { return m_frames.back(); }
    // Moves the oldest complete frame into out and removes it from the list.
    bool takeCompleteFrame(Http_frame &out);

private:
    // One step of the state machine for one line without its CR LF.
    void parseLine(const std::string &line);
    void startLine(const std::string &line);
    void headerLine(const std::string &line);
    void consumeBody(const char *data, std::size_t size);
    void endMessage();
    bool countBytes(std::size_t size);
    void refuse();

    State m_state = HTTP_INIT;
    std::uint32_t m_contentLength = 0;
    std::uint32_t m_bodyRead = 0;
    std::size_t m_messageBytes = 0;
    bool m_pauseAfterMessage = false;
    bool m_paused = false;
    std::string m_unparsed;
    std::deque<Http_frame> m_frames;
};
