// velasim: sends commands to the simulated hub library's control socket.
//
//   velasim [--socket PATH] WORDS...     one command, the words joined by spaces
//   velasim [--socket PATH] play FILE    the file's commands in order; a line
//                                        "sleep MS" pauses; stops at the first error
//
// PATH defaults to $VELASYSTEM_CONTROL. Replies go to standard output; the
// reply to "help", one line with its usages apart by U+001E, is shown as "ok"
// and then one command per line.
// Exit status: 0 every reply was "ok", 1 a reply was an error, 2 the tool
// could not do its job (no socket, lost connection, unreadable file, usage).

#include "ControlClient.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitError = 1;
constexpr int ExitTrouble = 2;

int usage()
{
    std::cerr << "usage: velasim [--socket PATH] WORDS...\n"
                 "       velasim [--socket PATH] play FILE\n"
                 "PATH defaults to $VELASYSTEM_CONTROL; try 'velasim help'.\n";
    return ExitTrouble;
}

bool isBlank(const std::string &line)
{
    return line.find_first_not_of(" \t") == std::string::npos;
}

bool isHelp(const std::string &line)
{
    const size_t start = line.find_first_not_of(' ');
    const size_t end = line.find_last_not_of(' ');
    return start != std::string::npos && line.compare(start, end + 1 - start, "help") == 0;
}

// Sends one command and prints its reply; the exit status it stands for.
int send(ControlClient &client, const std::string &line)
{
    std::vector<std::string> reply;
    if (!client.command(line, &reply)) {
        std::cerr << "velasim: the connection was lost\n";
        return ExitTrouble;
    }
    if (isHelp(line) && reply.front().compare(0, 3, "ok ") == 0) {
        std::string usages = reply.front().substr(3);
        std::replace(usages.begin(), usages.end(), '\x1e', '\n');
        reply = {"ok", usages};
    }
    for (const std::string &text : reply)
        std::cout << text << '\n';
    std::cout.flush();
    return reply.front().compare(0, 2, "ok") == 0 ? ExitOk : ExitError;
}

bool parseSleep(const std::string &line, long *ms)
{
    if (line.compare(0, 6, "sleep ") != 0)
        return false;
    const char *digits = line.c_str() + 6;
    char *end = nullptr;
    errno = 0;
    *ms = std::strtol(digits, &end, 10);
    return end != digits && *end == '\0' && errno == 0 && *ms >= 0;
}

int play(ControlClient &client, const char *path)
{
    std::ifstream file(path);
    if (!file) {
        std::cerr << "velasim: cannot read " << path << '\n';
        return ExitTrouble;
    }
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (isBlank(line) || line[0] == '#')
            continue;
        if (line.compare(0, 5, "sleep") == 0) {
            long ms = 0;
            if (!parseSleep(line, &ms)) {
                std::cout << "error usage: sleep MS\n";
                return ExitError;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            continue;
        }
        const int status = send(client, line);
        if (status != ExitOk)
            return status;
    }
    return ExitOk;
}

} // namespace

int main(int argc, char **argv)
{
    int first = 1;
    const char *env = std::getenv("VELASYSTEM_CONTROL");
    std::string path = env ? env : "";
    if (first < argc && std::strcmp(argv[first], "--socket") == 0) {
        if (first + 1 >= argc)
            return usage();
        path = argv[first + 1];
        first += 2;
    }
    if (first >= argc || std::strcmp(argv[first], "--help") == 0 || path.empty())
        return usage();

    ControlClient client;
    std::string problem;
    if (!client.connectTo(path, &problem)) {
        std::cerr << "velasim: cannot connect to " << path << ": " << problem << '\n';
        return ExitTrouble;
    }
    if (std::strcmp(argv[first], "play") == 0) {
        if (argc - first != 2)
            return usage();
        return play(client, argv[first + 1]);
    }
    std::string line;
    for (int i = first; i < argc; ++i) {
        if (i > first)
            line += ' ';
        line += argv[i];
    }
    return send(client, line);
}
