#pragma once

#include "CommandInterpreter.h"
#include "EventLoop.h"
#include "Model.h"

#include <velasystem/VelaSystem.h>

#include <memory>
#include <mutex>

namespace Velasystem {

class ControlServer;

// Everything the library is, one per process, made on first use and taken
// down when the process ends: the thread is stopped and joined first, then
// every object the relay was given is destroyed.
class Library
{
public:
    static Library &get();
    ~Library();
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    VelaSystem &system() { return m_system; }
    Model &model() { return m_model; }
    EventLoop &loop() { return m_loop; }

    // False when the scenario or the control socket failed; the reason went
    // out as a Qt warning. Later calls return the first result.
    bool initialise();
    void startThread();
    QString execute(const QString &line);
    bool loadScenario(const QString &path, QString *error);
    void reset();

private:
    Library();
    bool start();
    static bool failStart(const QString &message);

    // Declared in the order they may be built; destroyed after the thread
    // has stopped.
    VelaSystem m_system;
    Model m_model;
    EventLoop m_loop;
    CommandInterpreter m_interpreter;
    std::unique_ptr<ControlServer> m_server;
    std::once_flag m_threadStarted;
    std::once_flag m_initialised;
    bool m_started = false;
};

} // namespace Velasystem
