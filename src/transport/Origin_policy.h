#pragma once

#include <optional>
#include <string>
#include <vector>

// Which web pages may open a connection. A browser lets any page open a
// WebSocket to any address and names the page's origin in the upgrade
// (RFC 6455 section 10.2); without this check every site a user visits could
// drive the boards of a machine that trusts the relay's authority.
// Native clients send no Origin and are not concerned.
//
// Allowed: pages of the loopback hosts (http or https, any port), and the
// origins listed in the setting; "*" there allows every origin.
class Origin_policy
{
public:
    // Origins separated by spaces or commas. Entries that are not origins,
    // "null" among them, are left out and listed in rejected.
    static Origin_policy fromSetting(const std::string &setting, std::vector<std::string> *rejected = nullptr);

    // The value of an Origin header field.
    bool allows(const std::string &origin) const;
    // "*" was listed.
    bool allowsAll() const { return m_any; }

private:
    struct Origin
    {
        std::string scheme; // lower case
        std::string host;   // lower case, IPv6 in brackets
        std::string port;   // empty for none or the scheme's default

        // Equal origins give equal texts.
        std::string serialised() const;
    };
    // Nothing when the text is not the serialisation of an origin (RFC 6454
    // section 6.2): scheme "://" host [":" port] and nothing else.
    static std::optional<Origin> parse(const std::string &text);

    bool m_any = false;
    std::vector<std::string> m_listed; // canonical
};
