#pragma once

#include "MainLoopGate.h"

#include <QCoreApplication>

#include <thread>

// The relay's application object. The main thread holds its gate whenever it
// runs (from construction to destruction, and around every event it handles)
// and lets go only while it waits in its event loop. What uses the gate must
// be gone before the application is destroyed: QObject would delete the
// application's children only after the gate.
class RelayApplication : public QCoreApplication
{
public:
    RelayApplication(int &argc, char **argv);
    ~RelayApplication() override;

    // Hides QCoreApplication::exec(): the gate can open only while it runs.
    static int exec();
    // The running application's gate; none when the application is another.
    static MainLoopGate *mainLoopGate();

    bool notify(QObject *receiver, QEvent *event) override;

private:
    MainLoopGate m_gate;
    const std::thread::id m_mainThread;
};
