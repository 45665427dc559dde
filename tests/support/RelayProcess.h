#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A free TCP port on 127.0.0.1 at the moment of the call.
quint16 freeLocalPort();
bool isLocalPortFree(quint16 port);

// The real relay executable, run from a private copy of build/bin so that each
// test has its own settings file beside the executable.
class RelayProcess
{
public:
    explicit RelayProcess(const QString &settings = QString());
    ~RelayProcess();

    QString directory() const { return m_dir.path(); }
    QProcessEnvironment &environment() { return m_environment; }

    void start(const QStringList &arguments);
    // Standard output and error together, as far as read.
    QString output() const { return m_output; }
    // Waits until the output holds text, reading as it arrives.
    bool waitForOutput(const QString &text, int timeoutMs = 10000);
    void signal(int signo);
    bool waitForExit(int timeoutMs = 10000);
    int exitCode() const { return m_process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }
    qint64 pid() const { return m_process.processId(); }

private:
    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
    QProcess m_process;
    QString m_output;
};
