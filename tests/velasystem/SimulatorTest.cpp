#include "SimulatorTest.h"

#include <QMetaMethod>

#include <algorithm>

using namespace Velasystem;

namespace {
// One signal argument as text. An eraser's contacts are read by the hub
// adapter's tests, through the adapter.
QString argumentText(int type, const void *arg)
{
    QString text;
    if (type == qMetaTypeId<Hub *>())
        return QString::number((*static_cast<Hub *const *>(arg))->hubIndex());
    if (type == qMetaTypeId<QList<Hub::TouchInfo>>()) {
        for (const Hub::TouchInfo &p : *static_cast<const QList<Hub::TouchInfo> *>(arg))
            text += QString::asprintf(" %d:%d:%d:%d", p.id, p.x, p.y, p.pressed);
        return text.mid(1);
    }
    if (type == QMetaType::QString)
        return *static_cast<const QString *>(arg);
    return QString::number(QVariant(type, arg).toLongLong()); // enums and bools too
}
} // namespace

void Recorder::watch(QObject *sender)
{
    const QMetaObject *meta = sender->metaObject();
    for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
        if (meta->method(i).methodType() == QMetaMethod::Signal)
            QMetaObject::connect(sender, i, this, QObject::staticMetaObject.methodCount());
    }
}

// The one slot every watched signal is connected to, past QObject's own.
int Recorder::qt_metacall(QMetaObject::Call call, int id, void **args)
{
    id = QObject::qt_metacall(call, id, args);
    if (id < 0 || call != QMetaObject::InvokeMetaMethod)
        return id;
    const QMetaMethod signal = sender()->metaObject()->method(senderSignalIndex());
    QString line = QString::fromLatin1(signal.name());
    for (int i = 0; i < signal.parameterCount(); ++i) {
        const int type = signal.parameterType(i);
        // Sessions are left out; a hub stands as its index.
        if (type == qMetaTypeId<Hub *>() || !(QMetaType::typeFlags(type) & QMetaType::PointerToQObject))
            line += ' ' + argumentText(type, args[i + 1]);
    }
    lines.append(line);
    return -1;
}

Hub *SimulatorTest::hub(int index)
{
    QList<Hub *> hubs;
    VelaSystem::instance()->getHubList(hubs);
    const auto found = std::find_if(hubs.begin(), hubs.end(), [&](Hub *h) { return h->hubIndex() == index; });
    return found == hubs.end() ? nullptr : *found;
}
