#include "Http_parser.h"

#include "Http_strings.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

using namespace Http_strings;

bool Http_parser::parse(const char *data, std::size_t size)
{
    if (m_state == HTTP_REFUSED)
        return false;
    m_unparsed.append(data, size);
    m_paused = false;

    std::size_t offset = 0;
    while (m_state != HTTP_REFUSED && !m_paused && offset < m_unparsed.size()) {
        if (m_state == HTTP_BODY) {
            // RFC 7230 section 3.3.3: the body is exactly Content-Length bytes,
            // line breaks included.
            const std::size_t take = std::min<std::size_t>(m_contentLength - m_bodyRead, m_unparsed.size() - offset);
            consumeBody(m_unparsed.data() + offset, take);
            offset += take;
            continue;
        }
        const std::size_t end = m_unparsed.find("\r\n", offset);
        if (end == std::string::npos)
            break;
        const std::size_t lineSize = end - offset;
        if (m_state == HTTP_HEADERS && !countBytes(lineSize + 2))
            break;
        parseLine(m_unparsed.substr(offset, lineSize));
        offset = end + 2;
    }
    m_unparsed.erase(0, offset);
    // A line still without its break counts against the bound of its message,
    // so a peer cannot make us keep an endless line.
    if (m_state != HTTP_REFUSED && m_messageBytes + m_unparsed.size() > kMaxMessageBytes && !m_paused)
        refuse();
    return m_state != HTTP_REFUSED;
}

void Http_parser::parseLine(const std::string &line)
{
    switch (m_state) {
    case HTTP_INIT:
        // A frame abandoned because its start line was unusable is reused, so
        // junk lines cannot grow the list.
        if (m_frames.empty() || m_frames.back().isComplete()) {
            if (m_frames.size() >= kMaxFrames) {
                refuse();
                return;
            }
            m_frames.emplace_back();
        } else {
            m_frames.back() = Http_frame();
        }
        m_contentLength = 0;
        m_bodyRead = 0;
        m_messageBytes = 0;
        startLine(line);
        break;
    case HTTP_VERSION: startLine(line); break;
    case HTTP_HEADERS: headerLine(line); break;
    case HTTP_BODY: {
        const std::string withBreak = line + "\r\n";
        consumeBody(withBreak.data(), std::min<std::size_t>(withBreak.size(), m_contentLength - m_bodyRead));
        break;
    }
    case HTTP_REFUSED: break;
    }
}

void Http_parser::startLine(const std::string &line)
{
    m_state = HTTP_INIT;
    if (!countBytes(line.size() + 2))
        return;
    const std::vector<std::string> words = split(line, ' ');
    if (words.size() < 3)
        return;
    Http_frame &frame = m_frames.back();
    if (words[0].find("HTTP/") != std::string::npos) {
        if (isStatusCode(words[1])) {
            frame.setStatusCode(std::atoi(words[1].c_str()));
            frame.setQuerystring(words[2]);
        }
    } else if (words[2].find("HTTP/") != std::string::npos) {
        if (isMethod(words[0])) {
            frame.setMethod(words[0]);
            frame.setUri(words[1]);
        }
    } else {
        return;
    }
    frame.headers().clear();
    m_state = HTTP_HEADERS;
}

void Http_parser::headerLine(const std::string &line)
{
    Http_frame &frame = m_frames.back();
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        std::string value = line.substr(colon + 1);
        trim(name);
        trim(value);
        frame.headers()[name] = value;
        return;
    }
    const auto length = frame.headers().find("Content-Length");
    if (length == frame.headers().end()) {
        endMessage();
        return;
    }
    // Leading decimal digits count; anything else counts as 0. More digits
    // than any allowed body needs is refused before it can overflow.
    const std::string &text = length->second;
    const std::size_t digits = std::find_if_not(text.begin(), text.end(),
                                                [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })
        - text.begin();
    if (digits > 9 || m_messageBytes + std::strtoul(text.substr(0, digits).c_str(), nullptr, 10) > kMaxMessageBytes) {
        refuse();
        return;
    }
    m_contentLength = static_cast<std::uint32_t>(std::strtoul(text.substr(0, digits).c_str(), nullptr, 10));
    m_bodyRead = 0;
    if (m_contentLength == 0)
        endMessage();
    else
        m_state = HTTP_BODY;
}

void Http_parser::consumeBody(const char *data, std::size_t size)
{
    if (!countBytes(size))
        return;
    m_frames.back().appendBody(std::string(data, size));
    m_bodyRead += static_cast<std::uint32_t>(size);
    if (m_bodyRead == m_contentLength)
        endMessage();
}

void Http_parser::endMessage()
{
    m_frames.back().setComplete(true);
    m_contentLength = 0;
    m_bodyRead = 0;
    m_messageBytes = 0;
    m_state = HTTP_INIT;
    m_paused = m_pauseAfterMessage;
}

bool Http_parser::countBytes(std::size_t size)
{
    m_messageBytes += size;
    if (m_messageBytes <= kMaxMessageBytes)
        return true;
    refuse();
    return false;
}

void Http_parser::refuse()
{
    m_state = HTTP_REFUSED;
    m_unparsed.clear();
    m_unparsed.shrink_to_fit();
}

std::string Http_parser::takeUnparsed()
{
    std::string bytes;
    bytes.swap(m_unparsed);
    return bytes;
}

bool Http_parser::takeCompleteFrame(Http_frame &out)
{
    const auto found =
        std::find_if(m_frames.begin(), m_frames.end(), [](const Http_frame &frame) { return frame.isComplete(); });
    if (found == m_frames.end())
        return false;
    out = std::move(*found);
    m_frames.erase(found);
    return true;
}
