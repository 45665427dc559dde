#pragma once

#include "QtServiceController.h"

#include <QByteArray>
#include <QFlags>
#include <QString>

class QSocketNotifier;

// A service runs in the foreground, as systemd expects of a simple service:
// exec() creates the application, calls start() and runs the event loop.
// SIGTERM and SIGINT stop the service and end exec() with status 0; SIGUSR1
// pauses and SIGUSR2 resumes it when the service flags allow suspending;
// SIGHUP asks it to reload. From the stop on, these signals are ignored until
// the process has ended.
// Signals are turned into events on the main thread through a self-pipe, so
// no service code ever runs inside a signal handler.
class QtServiceBase
{
public:
    enum MessageType {
        Success = 0,
        Error = 1,
        Warning = 2,
        Information = 3
    };

    enum ServiceFlag {
        Default = 0x00,
        CanBeSuspended = 0x01,
        CannotBeStopped = 0x02,
        NeedsStopOnShutdown = 0x04
    };
    Q_DECLARE_FLAGS(ServiceFlags, ServiceFlag)

    QtServiceBase(int argc, char **argv, const QString &name);
    virtual ~QtServiceBase();

    QtServiceBase(const QtServiceBase &) = delete;
    QtServiceBase &operator=(const QtServiceBase &) = delete;

    QString serviceName() const;
    QString serviceDescription() const;
    void setServiceDescription(const QString &description);
    QtServiceController::StartupType startupType() const;
    void setStartupType(QtServiceController::StartupType type);
    ServiceFlags serviceFlags() const;
    void setServiceFlags(ServiceFlags flags);

    int exec();

    // One line on standard error, the message unchanged: the journal of the
    // service manager is where it ends up.
    void logMessage(const QString &message, MessageType type = Success, int id = 0, uint category = 0,
                    const QByteArray &data = QByteArray());

    static QtServiceBase *instance();

protected:
    virtual void start() = 0;
    virtual void stop();
    virtual void pause();
    virtual void resume();
    // SIGHUP: read again what can be read again without a restart.
    virtual void reload();
    virtual void processCommand(int code);

    virtual void createApplication(int &argc, char **argv) = 0;
    virtual int executeApplication() = 0;
    // Ends the event loop of the application made by createApplication.
    virtual void quitApplication() = 0;
    virtual void destroyApplication() = 0;

private:
    void onSignalPipe();

    int m_argc;
    char **m_argv;
    QString m_name;
    QString m_description;
    QtServiceController::StartupType m_startupType = QtServiceController::ManualStartup;
    ServiceFlags m_flags = Default;
    bool m_stopping = false;
    bool m_paused = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(QtServiceBase::ServiceFlags)
