#pragma once

#include "RelayApplication.h"

#include <QCoreApplication>
#include <QString>
#include <QtService.h>

class VelaRelayDaemon;

class VelaRelayService : public QtService<RelayApplication>
{
public:
    VelaRelayService(int argc, char **argv);

protected:
    void start() override;
    void stop() override;
    void pause() override;
    void resume() override;
    void reload() override;
    void destroyApplication() override;

private:
    void log(const char *event);

    VelaRelayDaemon *m_daemon = nullptr; // child of the application
    QString m_port;
};
