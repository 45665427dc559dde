#include "RelayProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Binds 127.0.0.1 at port (0: any) and returns the port bound, 0 on failure.
quint16 bindLocal(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    quint16 bound = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        bound = ntohs(address.sin_port);
    ::close(fd);
    return bound;
}

} // namespace

quint16 freeLocalPort()
{
    return bindLocal(0);
}

bool isLocalPortFree(quint16 port)
{
    return bindLocal(port) == port;
}

namespace {

void copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    const QFileInfoList entries =
        QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QFileInfo &entry : entries) {
        const QString target = to + QLatin1Char('/') + entry.fileName();
        if (entry.isDir())
            copyTree(entry.filePath(), target);
        else if (entry.isSymLink())
            QFile::link(entry.symLinkTarget().section(QLatin1Char('/'), -1), target);
        else if (!entry.fileName().endsWith(QLatin1String(".ini"))
                 && !entry.fileName().endsWith(QLatin1String(".sock")))
            QFile::copy(entry.filePath(), target);
    }
}

} // namespace

RelayProcess::RelayProcess(const QString &settings)
    : m_environment(QProcessEnvironment::systemEnvironment())
{
    copyTree(QStringLiteral(VELARELAY_BIN_DIR), m_dir.path());
    if (!settings.isNull()) {
        QFile file(m_dir.path() + QStringLiteral("/velarelay.ini"));
        file.open(QIODevice::WriteOnly);
        file.write(settings.toUtf8());
    }
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

RelayProcess::~RelayProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void RelayProcess::start(const QStringList &arguments)
{
    m_process.setProcessEnvironment(m_environment);
    m_process.start(m_dir.path() + QStringLiteral("/velarelay"), arguments);
    m_process.waitForStarted(5000);
}

bool RelayProcess::waitForOutput(const QString &text, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        m_output += QString::fromUtf8(m_process.readAll());
        if (m_output.contains(text))
            return true;
        if (deadline.hasExpired())
            return false;
        if (m_process.state() == QProcess::NotRunning) {
            m_output += QString::fromUtf8(m_process.readAll());
            return m_output.contains(text);
        }
        m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
}

void RelayProcess::signal(int signo)
{
    ::kill(static_cast<pid_t>(m_process.processId()), signo);
}

bool RelayProcess::waitForExit(int timeoutMs)
{
    const bool finished = m_process.waitForFinished(timeoutMs);
    m_output += QString::fromUtf8(m_process.readAll());
    return finished;
}
