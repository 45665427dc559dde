#include "VelaRelayService.h"

#include <QDir>
#include <QSettings>

int main(int argc, char **argv)
{
    // Before anything opens a system-scope store, the service framework's own
    // included.
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, QDir::tempPath());
    VelaRelayService service(argc, argv);
    return service.exec();
}
