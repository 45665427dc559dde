#pragma once

#include "IHttp_frame.h"

class Http_frame : public IHttp_frame
{
public:
    std::string uri() const override { return m_uri; }
    void setUri(const std::string &uri) override { m_uri = uri; }
    std::string method() const override { return m_method; }
    void setMethod(const std::string &method) override { m_method = method; }
    std::string body() const override { return m_body; }
    std::string querystring() const override { return m_querystring; }
    void setQuerystring(const std::string &querystring) override { m_querystring = querystring; }
    int statusCode() const override { return m_statusCode; }
    Http_frame &setStatusCode(int code) override;
    Http_headers &headers() override { return m_headers; }
    const Http_headers &headers() const override { return m_headers; }
    bool isComplete() const override { return m_complete; }
    Http_frame &setComplete(bool complete) override;

    // The parser gathers the body piece by piece without copying it out and back.
    void appendBody(const std::string &bytes) { m_body += bytes; }

private:
    std::string m_querystring;
    std::string m_uri;
    std::string m_method;
    std::string m_body;
    int m_statusCode = 0;
    Http_headers m_headers;
    bool m_complete = false;
};
