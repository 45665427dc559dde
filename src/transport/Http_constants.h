#pragma once

#include <string>
#include <vector>

struct statusCodeStruct
{
    int code;
    std::string reason;
};

// The HTTP/1.1 status codes this server knows, with their reason phrases.
class Http_constants
{
public:
    static const std::vector<statusCodeStruct> &statusCodes();
    // Empty for a code that is not in the table.
    static std::string reasonPhrase(int code);
};
