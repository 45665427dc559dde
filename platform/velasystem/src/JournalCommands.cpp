#include "Commands.h"

#include "MethodTable.h"
#include "Model.h"

namespace Velasystem {

QString failMethod(CommandContext &c)
{
    // fail [OBJECT] METHOD [COUNT]: the object word narrows a method name
    // that several objects share, such as stopSession.
    const int first = isObjectWord(c.args.word(0)) && c.args.count() > 1 ? 1 : 0;
    const QString object = first ? c.args.word(0) : QString();
    const QString method = c.args.word(first);
    if (!isKnownMethod(object, method))
        return error(QStringLiteral("no failing method '%1'").arg(c.args.text(0)));
    const int more = c.args.count() - first - 1;
    const qint64 count = more > 0 ? c.args.integer(first + 1, "COUNT", 0, 1000000) : 1;
    if (more > 1)
        c.args.fail(QStringLiteral("usage: fail [OBJECT] METHOD [COUNT]"));
    if (!c.args.ok())
        return error(c.args.error());
    std::lock_guard<std::mutex> lock(c.model.mutex);
    c.model.faults.arm(object, method, static_cast<int>(count));
    return ok();
}

QString takeCalls(CommandContext &c)
{
    qint64 dropped = 0;
    QStringList lines;
    {
        std::lock_guard<std::mutex> lock(c.model.mutex);
        lines = c.model.journal.take(&dropped);
    }
    QString head = QString::number(lines.size());
    if (dropped > 0)
        head += QStringLiteral(" dropped %1 older").arg(dropped);
    lines.prepend(ok(head));
    return lines.join(QLatin1Char('\n'));
}

} // namespace Velasystem
