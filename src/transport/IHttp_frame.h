#pragma once

#include <map>
#include <string>

// Header names are case-insensitive (RFC 7230 section 3.2), so the map orders
// and finds them without regard to ASCII case; the spelling first seen is kept.
struct Http_header_less
{
    bool operator()(const std::string &a, const std::string &b) const;
};

using Http_headers = std::map<std::string, std::string, Http_header_less>;

// One parsed HTTP message, request or response.
class IHttp_frame
{
public:
    virtual ~IHttp_frame() = default;

    virtual std::string uri() const = 0;
    virtual void setUri(const std::string &uri) = 0;
    virtual std::string method() const = 0;
    virtual void setMethod(const std::string &method) = 0;
    virtual std::string body() const = 0;
    virtual std::string querystring() const = 0;
    virtual void setQuerystring(const std::string &querystring) = 0;
    virtual int statusCode() const = 0;
    virtual IHttp_frame &setStatusCode(int code) = 0;
    virtual Http_headers &headers() = 0;
    virtual const Http_headers &headers() const = 0;
    virtual bool isComplete() const = 0;
    virtual IHttp_frame &setComplete(bool complete) = 0;
};
