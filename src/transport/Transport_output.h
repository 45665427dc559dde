#pragma once

#include <cstdio>

// The transport reports its errors as whole lines on standard output, flushed
// at once so that a supervisor or a test reading the pipe sees them in time.
inline void printTransportLine(const char *text)
{
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
