#include "VelaRelayService.h"

#include "RelayLog.h"
#include "ServiceManager.h"
#include "VelaRelayDaemon.h"

#include <QDir>
#include <QSettings>
#include <QStringList>
#include <QTimer>

VelaRelayService::VelaRelayService(int argc, char **argv)
    : QtService<RelayApplication>(argc, argv, QStringLiteral("Corvane VelaRelay"))
{
    setServiceDescription(QStringLiteral("Corvane relay client for VelaBoard's and third party devices."));
    setServiceFlags(QtServiceBase::CanBeSuspended);
    setStartupType(QtServiceController::AutoStartup);
}

void VelaRelayService::start()
{
    // The settings file and the certificate are found beside the executable,
    // wherever the service manager starts it from.
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    bool debug = false;
    QString allowedOrigins;
    {
        const QSettings settings(QStringLiteral("velarelay.ini"), QSettings::IniFormat);
        m_port = settings.value(QStringLiteral("relay_port"), 9082).toString();
        debug = settings.value(QStringLiteral("relay_debug"), false).toBool();
        // QSettings reads a value with unquoted commas as a list.
        allowedOrigins = settings.value(QStringLiteral("relay_allowed_origins")).toStringList().join(QLatin1Char(' '));
    }

    // The command line overrides the file. "--port" with nothing after it is
    // ignored.
    const QStringList arguments = QCoreApplication::arguments();
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--port")) {
            if (i + 1 < arguments.size())
                m_port = arguments.at(i + 1);
        } else if (arguments.at(i) == QLatin1String("--debug")) {
            debug = true;
        }
    }

    m_daemon = new VelaRelayDaemon(m_port, debug, allowedOrigins, application());
    if (!m_daemon->isRunning()) {
        // The event loop is not running yet; end it as soon as it starts.
        QTimer::singleShot(0, [] { QCoreApplication::exit(1); });
        return;
    }
    log("Started");
    ServiceManager::ready(QStringLiteral("Listening on 127.0.0.1 port %1").arg(m_port));
}

void VelaRelayService::stop()
{
    ServiceManager::stopping();
    log("Stopped");
    if (m_daemon)
        m_daemon->stop();
    // Whatever the log left out of its last second is counted before the end.
    RelayLog::flush();
}

void VelaRelayService::pause()
{
    log("Paused");
    if (m_daemon)
        m_daemon->pause();
}

void VelaRelayService::resume()
{
    log("Resumed");
    if (m_daemon)
        m_daemon->resume();
}

void VelaRelayService::reload()
{
    if (!m_daemon)
        return;
    ServiceManager::reloading();
    m_daemon->reload();
    ServiceManager::ready(QStringLiteral("Listening on 127.0.0.1 port %1").arg(m_port));
}

void VelaRelayService::destroyApplication()
{
    // The daemon's hub adapter uses the application's gate.
    delete m_daemon;
    m_daemon = nullptr;
    QtService<RelayApplication>::destroyApplication();
}

void VelaRelayService::log(const char *event)
{
    logMessage(QStringLiteral("VelaRelay: %1 on port %2").arg(QLatin1String(event), m_port),
               QtServiceBase::Information);
}
