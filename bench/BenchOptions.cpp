#include "BenchOptions.h"

#include <cstdlib>
#include <map>

namespace bench {

bool BenchOptions::parse(int argc, char **argv, std::string &error)
{
    const std::map<std::string, std::string *> paths = {
        {"--relay", &relay},    {"--ssl-dir", &sslDir}, {"--node", &node},  {"--node-path", &nodePath},
        {"--ws-peer", &wsPeer}, {"--qt-peer", &qtPeer}, {"--out", &outDir}, {"--results", &results}};
    const std::map<std::string, std::string *> optional = {
        {"--only", &only}, {"--wrap-relay", &wrapRelay}, {"--hook", &hook}};
    const std::map<std::string, int *> numbers = {{"--runs", &runs},
                                                  {"--latency-seconds", &latencySeconds},
                                                  {"--fanout-seconds", &fanoutSeconds},
                                                  {"--idle-seconds", &idleSeconds},
                                                  {"--memory-clients", &memoryClients},
                                                  {"--clients", &clients},
                                                  {"--wide-clients", &wideClients}};
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--quick")
            makeQuick();
    }
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--quick")
            continue;
        if (i + 1 >= argc) {
            error = name + " wants a value";
            return false;
        }
        const std::string value = argv[++i];
        if (const auto path = paths.find(name); path != paths.end()) {
            *path->second = value;
        } else if (const auto text = optional.find(name); text != optional.end()) {
            *text->second = value;
        } else if (const auto number = numbers.find(name); number != numbers.end()) {
            *number->second = std::atoi(value.c_str());
            if (*number->second < 1) {
                error = name + " wants a whole number above 0";
                return false;
            }
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    for (const auto &[name, path] : paths) {
        if (path->empty()) {
            error = name + " is required";
            return false;
        }
    }
    return true;
}

bool BenchOptions::selected(const std::string &label) const
{
    return only.empty() || (',' + only + ',').find(',' + label + ',') != std::string::npos;
}

void BenchOptions::makeQuick()
{
    runs = 1;
    latencySeconds = 2;
    fanoutSeconds = 2;
    idleSeconds = 5;
}

} // namespace bench
