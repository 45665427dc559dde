#include "VelaRelayService.h"

#include <QDir>
#include <QSettings>

int main(int argc, char **argv)
{
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
