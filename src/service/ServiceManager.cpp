#include "ServiceManager.h"

#include <systemd/sd-daemon.h>

namespace ServiceManager {

void ready(const QString &status)
{
    sd_notify(0, ("READY=1\nSTATUS=" + status).toUtf8().constData());
}

void reloading()
{
    sd_notify(0, "RELOADING=1");
}

void stopping()
{
    sd_notify(0, "STOPPING=1");
}

} // namespace ServiceManager
