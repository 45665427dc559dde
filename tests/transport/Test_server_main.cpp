// A WebSocket echo server in its own process, for the tests that watch the
// server's standard output or its exit status.
// Usage: velarelay_transport_test_server CERT KEY PORT
#include "Echo_server.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s CERT KEY PORT\n", argv[0]);
        return 2;
    }
    Echo_server server;
    server.setCertificateFile(argv[1]);
    server.setKeyFile(argv[2]);
    if (!server.start("127.0.0.1", static_cast<std::uint16_t>(std::atoi(argv[3])))) {
        std::fprintf(stderr, "%s\n", server.startError().c_str());
        return 1;
    }
    std::printf("listening %u\n", static_cast<unsigned>(server.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
