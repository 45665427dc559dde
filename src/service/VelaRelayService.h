#pragma once

#include <QCoreApplication>
#include <QString>
#include <QtService.h>

class VelaRelayDaemon;

class VelaRelayService : public QtService<QCoreApplication>
{
public:
    VelaRelayService(int argc, char **argv);

protected:
    void start() override;
    void stop() override;
    void pause() override;
    void resume() override;
    void reload() override;

private:
    void log(const char *event);

    VelaRelayDaemon *m_daemon = nullptr; // child of the application
    QString m_port;
};
