#include "Http_site.h"

#include "Http_constants.h"

namespace {

const char kSecurityHeaders[] =
    "Cache-Control: no-store\r\n"
    "Content-Security-Policy: default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "Connection: close\r\n";

std::string response(int status, const std::string &contentType, const std::string &body, const char *extraHeaders = "")
{
    return "HTTP/1.1 " + std::to_string(status) + " " + Http_constants::reasonPhrase(status)
        + "\r\nContent-Type: " + contentType + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"
        + kSecurityHeaders + extraHeaders + "\r\n" + body;
}

std::string plain(int status)
{
    return response(status, "text/plain; charset=utf-8",
                    std::to_string(status) + " " + Http_constants::reasonPhrase(status) + "\n",
                    // RFC 7231 section 6.5.5: a 405 lists the methods the target supports.
                    status == 405 ? "Allow: GET\r\n" : "");
}

} // namespace

void Http_site::add(const std::string &path, const std::string &contentType, Producer body)
{
    m_pages[path] = Page{contentType, std::move(body)};
}

std::string Http_site::respond(const Http_request &request) const
{
    if (request.method != "GET")
        return plain(405);
    const auto page = m_pages.find(request.target.substr(0, request.target.find('?')));
    if (page == m_pages.end())
        return plain(404);
    return response(200, page->second.contentType, page->second.body());
}
