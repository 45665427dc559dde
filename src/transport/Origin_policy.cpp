#include "Origin_policy.h"

#include "Http_strings.h"

#include <algorithm>
#include <cctype>

namespace {

bool isAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// RFC 3986 section 3.1.
bool isScheme(const std::string &text)
{
    return !text.empty() && isAlpha(text.front()) && std::all_of(text.begin(), text.end(), [](char c) {
        return isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.';
    });
}

// Browsers serialise a host as its ASCII form: a name (IDNA A-labels), a
// dotted IPv4 address, or an IPv6 address in brackets. Anything else (user
// information, a path, a percent sign, a second host) makes no origin.
bool isHost(const std::string &text)
{
    if (text.size() > 2 && text.front() == '[' && text.back() == ']')
        return std::all_of(text.begin() + 1, text.end() - 1,
                           [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.'; });
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_';
    });
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return text;
}

const char *defaultPort(const std::string &scheme)
{
    if (scheme == "http" || scheme == "ws")
        return "80";
    if (scheme == "https" || scheme == "wss")
        return "443";
    return nullptr;
}

} // namespace

std::optional<Origin_policy::Origin> Origin_policy::parse(const std::string &text)
{
    const std::string::size_type separator = text.find("://");
    if (separator == std::string::npos)
        return std::nullopt;
    Origin origin{lower(text.substr(0, separator)), text.substr(separator + 3), {}};
    // A colon behind the closing bracket of an IPv6 address, or any colon
    // in a name, starts the port.
    const bool bracketed = !origin.host.empty() && origin.host.front() == '[';
    const std::string::size_type colon = origin.host.find(':', bracketed ? origin.host.find(']') : 0);
    if (colon != std::string::npos) {
        origin.port = origin.host.substr(colon + 1);
        origin.host.resize(colon);
        if (origin.port.empty() || origin.port.size() > 5
            || !std::all_of(origin.port.begin(), origin.port.end(), isDigit) || std::stoul(origin.port) > 65535) {
            return std::nullopt;
        }
        origin.port.erase(0, std::min(origin.port.find_first_not_of('0'), origin.port.size() - 1));
    }
    if (!isScheme(origin.scheme) || !isHost(origin.host))
        return std::nullopt;
    origin.host = lower(origin.host);
    const char *implied = defaultPort(origin.scheme);
    if (implied && origin.port == implied)
        origin.port.clear();
    return origin;
}

std::string Origin_policy::Origin::serialised() const
{
    return scheme + "://" + host + (port.empty() ? "" : ":" + port);
}

Origin_policy Origin_policy::fromSetting(const std::string &setting, std::vector<std::string> *rejected)
{
    Origin_policy policy;
    std::string spaced = setting;
    std::replace(spaced.begin(), spaced.end(), ',', ' ');
    std::replace(spaced.begin(), spaced.end(), '\t', ' ');
    for (const std::string &entry : Http_strings::split(spaced, ' ')) {
        if (entry.empty())
            continue;
        if (entry == "*") {
            policy.m_any = true;
        } else if (const std::optional<Origin> origin = parse(entry)) {
            policy.m_listed.push_back(origin->serialised());
        } else if (rejected) {
            rejected->push_back(entry);
        }
    }
    return policy;
}

bool Origin_policy::allows(const std::string &origin) const
{
    if (m_any)
        return true;
    const std::optional<Origin> parsed = parse(origin);
    if (!parsed)
        return false;
    if ((parsed->scheme == "http" || parsed->scheme == "https")
        && (parsed->host == "localhost" || parsed->host == "127.0.0.1" || parsed->host == "[::1]")) {
        return true;
    }
    return std::find(m_listed.begin(), m_listed.end(), parsed->serialised()) != m_listed.end();
}
