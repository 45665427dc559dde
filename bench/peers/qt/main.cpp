// Benchmark peer: the relay's fan-out job done with Qt's QWebSocketServer in
// secure mode.
//
//   velarelay-qt-peer --port P --control SOCKET --cert FILE --key FILE [--address A]
//   velarelay-qt-peer --version

#include "BroadcastServer.h"
#include "TriggerServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>

#include <cstdio>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--version"))) {
        std::printf("%s\n", qVersion());
        return 0;
    }
    QHash<QString, QString> o{{QStringLiteral("address"), QStringLiteral("127.0.0.1")}};
    for (int i = 1; i + 1 < args.size(); i += 2)
        o.insert(args.at(i).mid(2), args.at(i + 1));

    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(readAll(o.value(QStringLiteral("cert"))), QSsl::Pem));
    tls.setPrivateKey(QSslKey(readAll(o.value(QStringLiteral("key"))), QSsl::Rsa, QSsl::Pem));
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    if (tls.localCertificate().isNull() || tls.privateKey().isNull()) {
        std::fprintf(stderr, "velarelay-qt-peer: cannot read --cert and --key\n");
        return 2;
    }

    BroadcastServer server(o.value(QStringLiteral("address")), tls);
    TriggerServer trigger(&server);
    if (!server.listen(quint16(o.value(QStringLiteral("port")).toUInt()))
        || !trigger.listen(o.value(QStringLiteral("control")))) {
        std::fprintf(stderr, "velarelay-qt-peer: cannot listen\n");
        return 1;
    }
    return app.exec();
}
