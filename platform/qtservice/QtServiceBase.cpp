#include "QtServiceBase.h"

#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

QtServiceBase *g_instance = nullptr;
int g_signalPipe[2] = {-1, -1};

const int kHandledSignals[] = {SIGTERM, SIGINT, SIGUSR1, SIGUSR2, SIGHUP};

// Only async-signal-safe work here: the number goes down the pipe and the
// main thread acts on it.
extern "C" void forwardSignal(int signo)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void handleSignals(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signo : kHandledSignals)
        ::sigaction(signo, &action, nullptr);
}

bool openSignalPipe()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("service: signal pipe");
        return false;
    }
    handleSignals(forwardSignal);
    return true;
}

void closeSignalPipe()
{
    // Ignored, not reset to their defaults: the stop goes on after the event
    // loop has ended (the relay's threads are joined then), and a signal that
    // arrives meanwhile must not kill the process the service manager is
    // watching stop with status 0.
    handleSignals(SIG_IGN);
    for (int &fd : g_signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace

QtServiceBase::QtServiceBase(int argc, char **argv, const QString &name)
    : m_argc(argc)
    , m_argv(argv)
    , m_name(name)
{
    g_instance = this;
}

QtServiceBase::~QtServiceBase()
{
    if (g_instance == this)
        g_instance = nullptr;
}

QString QtServiceBase::serviceName() const
{
    return m_name;
}
QString QtServiceBase::serviceDescription() const
{
    return m_description;
}
void QtServiceBase::setServiceDescription(const QString &description)
{
    m_description = description;
}
QtServiceController::StartupType QtServiceBase::startupType() const
{
    return m_startupType;
}
void QtServiceBase::setStartupType(QtServiceController::StartupType type)
{
    m_startupType = type;
}
QtServiceBase::ServiceFlags QtServiceBase::serviceFlags() const
{
    return m_flags;
}
void QtServiceBase::setServiceFlags(ServiceFlags flags)
{
    m_flags = flags;
}
QtServiceBase *QtServiceBase::instance()
{
    return g_instance;
}

void QtServiceBase::stop()
{}
void QtServiceBase::pause()
{}
void QtServiceBase::resume()
{}
void QtServiceBase::reload()
{}
void QtServiceBase::processCommand(int)
{}

void QtServiceBase::logMessage(const QString &message, MessageType, int, uint, const QByteArray &)
{
    // One write, so the line cannot be split by a line another thread writes.
    const QByteArray line = message.toUtf8() + '\n';
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(2, line.constData() + done, static_cast<size_t>(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}

int QtServiceBase::exec()
{
    createApplication(m_argc, m_argv);
    if (!openSignalPipe()) {
        destroyApplication();
        return 1;
    }
    int status = 0;
    {
        QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { onSignalPipe(); });
        start();
        status = executeApplication();
    }
    closeSignalPipe();
    // The application owns the service's objects; they go while the main
    // thread can still join the threads they run.
    destroyApplication();
    return status;
}

void QtServiceBase::onSignalPipe()
{
    unsigned char received[16];
    ssize_t count;
    while ((count = ::read(g_signalPipe[0], received, sizeof received)) > 0) {
        for (ssize_t i = 0; i < count; ++i) {
            switch (received[i]) {
            case SIGTERM:
            case SIGINT:
                if (m_stopping || (m_flags & CannotBeStopped))
                    break;
                m_stopping = true;
                stop();
                quitApplication();
                break;
            // A pause while paused, or a resume while running, changes
            // nothing and is not reported: a storm of the same signal is one
            // change of state.
            case SIGUSR1:
                if (!m_stopping && !m_paused && (m_flags & CanBeSuspended)) {
                    m_paused = true;
                    pause();
                }
                break;
            case SIGUSR2:
                if (!m_stopping && m_paused && (m_flags & CanBeSuspended)) {
                    m_paused = false;
                    resume();
                }
                break;
            case SIGHUP:
                if (!m_stopping)
                    reload();
                break;
            default: break;
            }
        }
    }
}
