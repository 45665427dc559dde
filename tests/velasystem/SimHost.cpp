// A stand-in for the relay in end-to-end tests: loads the library the way
// the relay does (VELASYSTEM_SCENARIO, VELASYSTEM_CONTROL), makes one call
// on every hub that connects, and prints what reaches it, one line per
// event, so a test can wait for it. Ends when its standard input closes.

#include <velasystem/Hub.h>
#include <velasystem/VelaSystem.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

using Velasystem::Hub;

namespace {
void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

void follow(Hub *hub)
{
    say(QStringLiteral("hub %1").arg(hub->hubIndex()));
    hub->setTouchReportMode(1);
    QObject::connect(hub, &Hub::penEventReceived,
                     [](Hub *, Hub::PenEvent, quint8 id, int x, int y, bool tip, bool barrel) {
                         say(QStringLiteral("pen %1 %2 %3 %4 %5").arg(id).arg(x).arg(y).arg(int(tip)).arg(int(barrel)));
                     });
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Velasystem::VelaSystem *system = Velasystem::VelaSystem::instance();
    if (!system->initialise())
        return 1;
    QObject::connect(system, &Velasystem::VelaSystem::newHubConnected, &app, &follow);
    QList<Hub *> hubs;
    system->getHubList(hubs);
    for (Hub *hub : hubs)
        follow(hub);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    say(QStringLiteral("ready"));
    return app.exec();
}
