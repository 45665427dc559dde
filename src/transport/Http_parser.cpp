#include "Http_parser.h"

#include <algorithm>
#include <cctype>

namespace {

// RFC 7230 section 3.2.6.
bool isToken(std::string_view text)
{
    static constexpr std::string_view kSymbols = "!#$%&'*+-.^_`|~";
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
            || kSymbols.find(c) != std::string_view::npos;
    });
}

bool isControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool isWhiteSpace(char c)
{
    return c == ' ' || c == '\t';
}

// "HTTP/" DIGIT "." DIGIT (RFC 7230 section 2.6).
bool isVersion(std::string_view text)
{
    return text.size() == 8 && text.substr(0, 5) == "HTTP/" && std::isdigit(static_cast<unsigned char>(text[5]))
        && text[6] == '.' && std::isdigit(static_cast<unsigned char>(text[7]));
}

} // namespace

Http_parser::State Http_parser::parse(const char *data, std::size_t size)
{
    if (m_state == State::Malformed)
        return m_state;
    m_buffer.append(data, size);
    std::size_t offset = 0;
    while (m_state == State::RequestLine || m_state == State::Headers) {
        const std::size_t end = m_buffer.find('\n', offset);
        if (end == std::string::npos)
            break;
        m_headBytes += end + 1 - offset;
        // RFC 7230 section 3.5 lets a server take a bare LF as a line end; this
        // one refuses it rather than guess where a sloppy request's lines end.
        if (end == offset || m_buffer[end - 1] != '\r') {
            fail("a line ends without CR LF");
            break;
        }
        if (m_headBytes > kMaxHeadBytes) {
            fail("the request head is too large");
            break;
        }
        const std::string_view line(m_buffer.data() + offset, end - 1 - offset);
        offset = end + 1;
        parseLine(line);
    }
    if (m_state == State::Malformed)
        return m_state;
    m_buffer.erase(0, offset);
    // A line still without its end counts against the bound too.
    if (m_state != State::Complete && m_headBytes + m_buffer.size() > kMaxHeadBytes)
        fail("the request head is too large");
    return m_state;
}

void Http_parser::parseLine(std::string_view line)
{
    if (std::find(line.begin(), line.end(), '\r') != line.end()) {
        fail("a bare CR in a line");
        return;
    }
    if (m_state == State::RequestLine)
        requestLine(line);
    else
        headerLine(line);
}

void Http_parser::requestLine(std::string_view line)
{
    // Section 3.5: empty lines before the request line are ignored.
    if (line.empty())
        return;
    // Section 3.1.1: method SP request-target SP HTTP-version, one space each.
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) {
        fail("the request line is not three words");
        return;
    }
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, second - first - 1);
    const std::string_view version = line.substr(second + 1);
    if (!isToken(method) || target.empty() || std::any_of(target.begin(), target.end(), isControl)
        || !isVersion(version)) {
        fail("the request line is malformed");
        return;
    }
    m_request.method = method;
    m_request.target = target;
    m_request.version = version;
    m_state = State::Headers;
}

void Http_parser::headerLine(std::string_view line)
{
    if (line.empty()) {
        m_state = State::Complete;
        return;
    }
    // Section 3.2.4: no white space before the colon, and no line folding.
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        fail("a header line has no colon");
        return;
    }
    const std::string_view name = line.substr(0, colon);
    if (!isToken(name)) {
        fail("a header name is not a token");
        return;
    }
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && isWhiteSpace(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && isWhiteSpace(value.back()))
        value.remove_suffix(1);
    if (std::any_of(value.begin(), value.end(), [](char c) { return c != '\t' && isControl(c); })) {
        fail("a header value holds a control character");
        return;
    }
    const auto [field, inserted] = m_request.headers.emplace(std::string(name), std::string(value));
    if (!inserted)
        field->second.append(", ").append(value);
}

void Http_parser::fail(const char *why)
{
    m_state = State::Malformed;
    m_error = why;
    m_buffer.clear();
    m_buffer.shrink_to_fit();
}

std::string Http_parser::takeRemainder()
{
    std::string bytes;
    bytes.swap(m_buffer);
    return bytes;
}
