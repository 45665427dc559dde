#pragma once

#include "Http_request.h"

#include <functional>
#include <map>
#include <string>

// The server's own pages, served over HTTPS beside the WebSocket upgrade: GET
// only, one request per connection. Every response carries the same headers
// of defence: a Content-Security-Policy under which a page loads only its own
// scripts, styles and images and opens connections only to its own origin
// (WebSocket included, CSP Level 3), no content sniffing, no referrer, no
// caching, and no framing.
class Http_site
{
public:
    // Called on the server's thread each time the page is asked for.
    using Producer = std::function<std::string()>;

    // path: the whole path, "/" included; a query string is not part of it.
    void add(const std::string &path, const std::string &contentType, Producer body);
    // The whole response to one request: the page, 404, or 405 for any
    // method but GET.
    std::string respond(const Http_request &request) const;

private:
    struct Page
    {
        std::string contentType;
        Producer body;
    };

    std::map<std::string, Page> m_pages;
};
