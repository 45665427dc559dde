#include "CommandLine.h"

namespace CommandLine {

Request request(const QStringList &arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return Request::Help;
        if (argument == QLatin1String("--version") || argument == QLatin1String("-v"))
            return Request::Version;
        // The value of --port is not an option, whatever it looks like.
        if (argument == QLatin1String("--port"))
            ++i;
    }
    return Request::Run;
}

QString version()
{
    return QStringLiteral("velarelay " VELARELAY_VERSION "\n");
}

QString usage(const QString &folder)
{
    return QStringLiteral(R"(Usage: velarelay [--port N] [--debug]
       velarelay --help | --version

Relays the whiteboard hubs of this machine to its client applications:
WebSocket over TLS (subprotocol "relay-protocol") on 127.0.0.1.

Options (they override the settings file):
  --port N        listen on port N, a whole number from 1 to 65535
  --debug         also write diagnostic lines ("VelaRelay debug: ...")
  -h, --help      print this text and exit
  -v, --version   print the version and exit
Other arguments are ignored.

Settings, in velarelay.ini (INI format):
  relay_port=9082     the port to listen on
  relay_debug=false   the diagnostic lines
  relay_allowed_origins=
                      web pages that may connect besides those of localhost,
                      127.0.0.1 and [::1]: exact origins (scheme://host[:port])
                      separated by spaces or commas; "*" allows every page of
                      every site, which lets any site a user visits drive the
                      hubs. Clients that send no Origin (not browsers) are
                      always accepted; other pages get 403.

Files, read from the executable's folder (%1):
  velarelay.ini         the settings (optional)
  ssl/velarelay.crt     the certificate (PEM)
  ssl/velarelay.key     its private key (PEM)

Signals:
  SIGTERM, SIGINT   stop: close every client, exit with status 0
  SIGUSR1           pause: close every client, keep listening
  SIGUSR2           resume after a pause
  SIGHUP            read the key and certificate again for new connections

Every line the relay writes goes to standard error and begins with
"VelaRelay: " (or "VelaRelay debug: ").
)")
        .arg(folder);
}

} // namespace CommandLine
