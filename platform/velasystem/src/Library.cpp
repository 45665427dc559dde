#include "Library.h"

#include "ControlServer.h"
#include "HubPrivate.h"
#include "MathmlTranslator.h"
#include "MethodTable.h"
#include "ScenarioFile.h"

#include <velasystem/EnhancedQuestionSession.h>
#include <velasystem/Hub.h>

#include <QFile>
#include <QTextCodec>

#include <cstdio>
#include <cstdlib>
#include <sys/types.h>

namespace Velasystem {

namespace {
// The relay connects to hub and session signals from its own thread, so
// every type they carry must be known for queued delivery. The short
// spellings let a receiver that writes them inside the namespace connect by
// signature too.
void registerMetaTypes()
{
    qRegisterMetaType<Hub *>("Velasystem::Hub*");
    qRegisterMetaType<Hub *>("Hub*");
    qRegisterMetaType<EnhancedQuestionSession *>("Velasystem::EnhancedQuestionSession*");
    qRegisterMetaType<EnhancedQuestionSession *>("EnhancedQuestionSession*");
    qRegisterMetaType<Hub::PenEvent>("Velasystem::Hub::PenEvent");
    qRegisterMetaType<Hub::PenEvent>("Hub::PenEvent");
    qRegisterMetaType<Hub::YesNoResponse>("Velasystem::Hub::YesNoResponse");
    qRegisterMetaType<Hub::YesNoResponse>("Hub::YesNoResponse");
    qRegisterMetaType<Hub::TrueFalseResponse>("Velasystem::Hub::TrueFalseResponse");
    qRegisterMetaType<Hub::TrueFalseResponse>("Hub::TrueFalseResponse");
    qRegisterMetaType<Hub::TouchInfo>("Velasystem::Hub::TouchInfo");
    qRegisterMetaType<Hub::EraserInfo>("Velasystem::Hub::EraserInfo");
    qRegisterMetaType<QList<Hub::TouchInfo>>("QList<Velasystem::Hub::TouchInfo>");
    qRegisterMetaType<QList<Hub::TouchInfo>>("QList<Hub::TouchInfo>");
    qRegisterMetaType<QList<Hub::EraserInfo>>("QList<Velasystem::Hub::EraserInfo>");
    qRegisterMetaType<QList<Hub::EraserInfo>>("QList<Hub::EraserInfo>");
    qRegisterMetaType<Device::SubType>("Velasystem::Device::SubType");
    qRegisterMetaType<Device::SubType>("Device::SubType");
    qRegisterMetaType<YesNoQuestion::Answer>("Velasystem::YesNoQuestion::Answer");
    qRegisterMetaType<YesNoQuestion::Answer>("YesNoQuestion::Answer");
    qRegisterMetaType<TrueFalseQuestion::Answer>("Velasystem::TrueFalseQuestion::Answer");
    qRegisterMetaType<TrueFalseQuestion::Answer>("TrueFalseQuestion::Answer");
}

// VELASYSTEM_CONTROL_MODE: the socket's permission bits in octal, so that a
// service can open it to a group of operators. Unset, only the owner.
bool controlMode(mode_t *mode, QString *error)
{
    const QByteArray text = qgetenv("VELASYSTEM_CONTROL_MODE");
    if (text.isEmpty()) {
        *mode = 0600;
        return true;
    }
    bool ok = false;
    const uint value = text.toUInt(&ok, 8);
    if (!ok || value > 0777) {
        *error = QStringLiteral("VELASYSTEM_CONTROL_MODE '%1' is not an octal mode from 0 to 0777")
                     .arg(QString::fromLocal8Bit(text));
        return false;
    }
    *mode = value;
    return true;
}
} // namespace

Model &Model::get()
{
    return Library::get().model();
}

EventLoop &EventLoop::get()
{
    return Library::get().loop();
}

Library &Library::get()
{
    static Library library;
    return library;
}

Library::Library()
    : m_interpreter(m_model, m_loop, m_system)
{
    registerMetaTypes();
    // Statics are destroyed at exit in the reverse order of their making. Any
    // that the library thread uses must outlive it, so they are made here,
    // before this object is complete, and are destroyed after its destructor
    // has stopped the thread.
    CommandInterpreter::table();
    methodTable();
    QTextCodec::codecForMib(106);
    QString warm;
    MathmlTranslator(true).translateText(QStringLiteral("<math><mi>x</mi></math>"), warm, QString(), QString());
}

Library::~Library()
{
    m_loop.stop();
    m_server.reset();
}

bool Library::failStart(const QString &message)
{
    // Through Qt's message handler, so the host decides where the line goes
    // (the relay puts it into its own start-up line).
    qWarning("velasystem: %s", qPrintable(message));
    return false;
}

void Library::startThread()
{
    std::call_once(m_threadStarted, [this] { m_loop.start(); });
}

bool Library::initialise()
{
    std::call_once(m_initialised, [this] { m_started = start(); });
    return m_started;
}

bool Library::start()
{
    startThread();
    const QString scenario = QFile::decodeName(qgetenv("VELASYSTEM_SCENARIO"));
    QString problem;
    if (!scenario.isEmpty() && !loadScenario(scenario, &problem))
        return failStart(problem);
    const QString control = QFile::decodeName(qgetenv("VELASYSTEM_CONTROL"));
    if (control.isEmpty())
        return true;
    mode_t mode = 0;
    if (!controlMode(&mode, &problem))
        return failStart(problem);
    bool listening = false;
    m_loop.runAndWait([&] {
        m_server = std::make_unique<ControlServer>(m_loop,
                                                   [this](const QString &line) { return m_interpreter.execute(line); });
        listening = m_server->listen(control, mode, &problem);
        if (!listening)
            m_server.reset();
    });
    if (!listening)
        return failStart(QStringLiteral("control socket %1: %2").arg(control, problem));
    return true;
}

QString Library::execute(const QString &line)
{
    startThread();
    QString reply;
    m_loop.runAndWait([&] { reply = m_interpreter.execute(line); });
    return reply;
}

bool Library::loadScenario(const QString &path, QString *error)
{
    return ScenarioFile::run(
        path, [this](const QString &line) { return execute(line); }, error);
}

void Library::reset()
{
    startThread();
    m_loop.runAndWait([this] {
        QList<Hub *> removed;
        {
            std::lock_guard<std::mutex> lock(m_model.mutex);
            removed = m_model.hubs();
            for (Hub *hub : removed)
                m_model.disconnectHub(hub);
            m_model.closeRegistration();
            m_model.closeNaming();
            m_model.autoAnswer.disable();
            m_model.faults.clear();
        }
        for (Hub *hub : removed)
            emit m_system.hubDisconnected(hub);
        std::lock_guard<std::mutex> lock(m_model.mutex);
        m_model.journal.clear();
    });
}

} // namespace Velasystem
