#include "CommandLine.h"
#include "RelayLog.h"
#include "VelaRelayService.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <cstdio>

namespace {

// Qt's own warnings, and those of the hub library, are lines of the relay's
// log like any other.
void logQtMessage(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        RelayLog::debug(text.toStdString());
    else
        RelayLog::info(text.toStdString());
}

} // namespace

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    switch (CommandLine::request(arguments)) {
    case CommandLine::Request::Help: {
        const QString folder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
        std::fputs(CommandLine::usage(folder).toLocal8Bit().constData(), stdout);
        return 0;
    }
    case CommandLine::Request::Version: std::fputs(CommandLine::version().toLocal8Bit().constData(), stdout); return 0;
    case CommandLine::Request::Run: break;
    }
    qInstallMessageHandler(logQtMessage);
    // Before anything opens a system-scope store, the service framework's own
    // included.
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, QDir::tempPath());
    // Qt's own event dispatcher wakes the main thread once for a run of
    // events posted to it, where the glib one wakes it for every event: with
    // one event per pen sample that nearly halved the kernel's share of
    // fanning pen input out to the clients.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    VelaRelayService service(argc, argv);
    return service.exec();
}
