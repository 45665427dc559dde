#pragma once

#include <chrono>
#include <string>
#include <string_view>

// The relay's log: every line goes to standard error whole, in one write, so
// lines of different threads never run into each other, and every line
// begins with "VelaRelay: " (for operators) or "VelaRelay debug: " (only
// with --debug). The service manager's journal is where they end up.
//
// Lines that a peer can make the relay repeat without bound (one per
// connection, probe or signal) go through repeated(): at most kBurst lines of
// one kind a second; the rest are counted and reported in one line.
namespace RelayLog {

inline constexpr int kBurst = 10;
inline constexpr std::chrono::milliseconds kWindow{1000};

void setDebugEnabled(bool enabled);
bool debugEnabled();

void info(std::string_view text);
void debug(std::string_view text);

// kind names the sort of line, for the count of those left out (for
// example "TLS handshake failures"); lines of one kind share one bound.
void repeated(std::string_view kind, std::string_view text);
void repeatedDebug(std::string_view kind, std::string_view text);

// Reports the counts of lines left out that no later line has reported yet;
// called when the relay stops, so nothing goes unmentioned.
void flush();

// Tests: a clock to step, and a descriptor to write to instead of 2.
using Clock = std::chrono::steady_clock::time_point (*)();
void setClockForTesting(Clock clock);
void setDescriptorForTesting(int fd);

} // namespace RelayLog
