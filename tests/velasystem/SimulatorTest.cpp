#include "SimulatorTest.h"

using namespace Velasystem;

void Recorder::note(const QString &line)
{
    allInTestThread = allInTestThread && QThread::currentThread() == thread();
    lines.append(line);
    emit recorded();
}

bool Recorder::waitFor(int count, int timeoutMs)
{
    QSignalSpy spy(this, &Recorder::recorded);
    while (lines.size() < count) {
        if (!spy.wait(timeoutMs))
            return false;
    }
    return true;
}

void Recorder::watch(VelaSystem *system)
{
    connect(system, &VelaSystem::newHubConnected, this,
            [this](Hub *h) { note(QStringLiteral("connected %1").arg(h->hubIndex())); });
    connect(system, &VelaSystem::hubDisconnected, this,
            [this](Hub *h) { note(QStringLiteral("disconnected %1").arg(h->hubIndex())); });
}

void Recorder::watch(Hub *hub)
{
    connect(hub, &Hub::penEventReceived, this,
            [this](Hub *, Hub::PenEvent e, quint8 id, int x, int y, bool tip, bool barrel) {
                note(QStringLiteral("pen %1 %2 %3 %4 %5 %6").arg(e).arg(id).arg(x).arg(y).arg(tip).arg(barrel));
            });
    connect(hub, &Hub::touchEventReceived, this, [this](Hub *, const QList<Hub::TouchInfo> &ps) {
        QString line = QStringLiteral("touch");
        for (const Hub::TouchInfo &p : ps)
            line += QStringLiteral(" %1:%2:%3:%4").arg(p.id).arg(p.x).arg(p.y).arg(p.pressed);
        note(line);
    });
    connect(hub, &Hub::eraserEventReceived, this, [this](Hub *, const QList<Hub::EraserInfo> &es) {
        QString line = QStringLiteral("eraser");
        for (const Hub::EraserInfo &e : es)
            line += QStringLiteral(" %1:%2:%3:%4:%5:%6")
                        .arg(e.id)
                        .arg(e.x)
                        .arg(e.y)
                        .arg(e.width)
                        .arg(e.height)
                        .arg(e.pressed);
        note(line);
    });
    const auto text = [this](const char *kind) {
        return [this, kind](Hub *, quint32 uid, int qid, const QString &r) {
            note(QStringLiteral("%1 %2 %3 %4").arg(QLatin1String(kind)).arg(uid).arg(qid).arg(r));
        };
    };
    connect(hub, &Hub::multichoiceSessionResponse, this, text("multichoice"));
    connect(hub, &Hub::sortInOrderSessionResponse, this, text("sortinorder"));
    connect(hub, &Hub::numericSessionResponse, this, text("numeric"));
    connect(hub, &Hub::endUserNamingSessionResponse, this, text("enduser"));
    connect(hub, &Hub::textSessionResponse, this, [this](Hub *, quint32 uid, int qid, const QString &r, bool valid) {
        note(QStringLiteral("text %1 %2 %3 %4").arg(uid).arg(qid).arg(valid).arg(r));
    });
    connect(hub, &Hub::yesNoSessionResponse, this, [this](Hub *, quint32 uid, int qid, Hub::YesNoResponse r) {
        note(QStringLiteral("yesno %1 %2 %3").arg(uid).arg(qid).arg(r));
    });
    connect(hub, &Hub::trueFalseSessionResponse, this, [this](Hub *, quint32 uid, int qid, Hub::TrueFalseResponse r) {
        note(QStringLiteral("truefalse %1 %2 %3").arg(uid).arg(qid).arg(r));
    });
    connect(hub, &Hub::likertSessionResponse, this, [this](Hub *, quint32 uid, int qid, int v) {
        note(QStringLiteral("likert %1 %2 %3").arg(uid).arg(qid).arg(v));
    });
}

void Recorder::watch(EnhancedQuestionSession *session)
{
    using S = EnhancedQuestionSession;
    const auto number = [this](const char *kind) {
        return [this, kind](S *, quint32 uid, int n) {
            note(QStringLiteral("%1 %2 %3").arg(QLatin1String(kind)).arg(uid).arg(n));
        };
    };
    const auto text = [this](const char *kind) {
        return [this, kind](S *, quint32 uid, int n, const QString &a) {
            note(QStringLiteral("%1 %2 %3 %4").arg(QLatin1String(kind)).arg(uid).arg(n).arg(a));
        };
    };
    connect(session, &S::getSessionParameters, this, number("getSessionParameters"));
    connect(session, &S::getQuestion, this, number("getQuestion"));
    connect(session, &S::multichoiceAnswer, this, text("multichoiceAnswer"));
    connect(session, &S::numericAnswer, this, text("numericAnswer"));
    connect(session, &S::sortInOrderAnswer, this, text("sortInOrderAnswer"));
    connect(session, &S::yesNoAnswer, this, [this](S *, quint32 uid, int n, YesNoQuestion::Answer a) {
        note(QStringLiteral("yesNoAnswer %1 %2 %3").arg(uid).arg(n).arg(a));
    });
    connect(session, &S::trueFalseAnswer, this, [this](S *, quint32 uid, int n, TrueFalseQuestion::Answer a) {
        note(QStringLiteral("trueFalseAnswer %1 %2 %3").arg(uid).arg(n).arg(a));
    });
    connect(session, &S::likertAnswer, this, [this](S *, quint32 uid, int n, int v) {
        note(QStringLiteral("likertAnswer %1 %2 %3").arg(uid).arg(n).arg(v));
    });
    connect(session, &S::textAnswer, this, [this](S *, quint32 uid, int n, const QString &a, bool v) {
        note(QStringLiteral("textAnswer %1 %2 %3 %4").arg(uid).arg(n).arg(v).arg(a));
    });
    connect(session, &S::deviceShutDown, this,
            [this](S *, quint32 uid) { note(QStringLiteral("deviceShutDown %1").arg(uid)); });
}

void Recorder::watch(VelahubRegistrationSession *session)
{
    connect(session, &VelahubRegistrationSession::expressionDeviceRegistered, this,
            [this](const QString &name, quint32 uid, Device::SubType type) {
                note(QStringLiteral("registered %1 %2 %3").arg(uid).arg(type).arg(name));
            });
}

void Recorder::watch(VelahubExpressionNamingSession *session)
{
    connect(session, &VelahubExpressionNamingSession::expressionDeviceNamed, this,
            [this](const QString &name, quint32 uid) { note(QStringLiteral("named %1 %2").arg(uid).arg(name)); });
}

QStringList SimulatorTest::calls()
{
    QStringList lines = run(QStringLiteral("calls")).split(QLatin1Char('\n'));
    lines.removeFirst();
    return lines;
}

Hub *SimulatorTest::hub(int index)
{
    QList<Hub *> hubs;
    VelaSystem::instance()->getHubList(hubs);
    for (Hub *h : hubs) {
        if (h->hubIndex() == index)
            return h;
    }
    return nullptr;
}
