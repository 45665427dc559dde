#include "RelayApplication.h"

RelayApplication::RelayApplication(int &argc, char **argv)
    : QCoreApplication(argc, argv)
    , m_mainThread(std::this_thread::get_id())
{
    m_gate.enter();
}

RelayApplication::~RelayApplication()
{
    m_gate.leave();
}

int RelayApplication::exec()
{
    auto *application = static_cast<RelayApplication *>(instance());
    application->m_gate.leave();
    const int status = QCoreApplication::exec();
    application->m_gate.enter();
    return status;
}

MainLoopGate *RelayApplication::mainLoopGate()
{
    auto *application = dynamic_cast<RelayApplication *>(instance());
    return application ? &application->m_gate : nullptr;
}

bool RelayApplication::notify(QObject *receiver, QEvent *event)
{
    // The hub library's thread may run an event loop of its own.
    if (std::this_thread::get_id() != m_mainThread)
        return QCoreApplication::notify(receiver, event);
    m_gate.enter();
    const bool handled = QCoreApplication::notify(receiver, event);
    m_gate.leave();
    return handled;
}
