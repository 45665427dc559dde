#pragma once

#include <string>
#include <vector>

// One connection to the simulated hub library's control socket. Sends a
// command line and reads its reply: one line, or for "calls" the "ok N"
// line and the N journal lines after it.
class ControlClient
{
public:
    ControlClient() = default;
    ~ControlClient();
    ControlClient(const ControlClient &) = delete;
    ControlClient &operator=(const ControlClient &) = delete;

    bool connectTo(const std::string &path, std::string *error);
    // False when the connection is lost.
    bool command(const std::string &line, std::vector<std::string> *reply);

private:
    bool readLine(std::string *line);

    int m_fd = -1;
    std::string m_buffer;
};
