#include "ScenarioFile.h"

#include <QFile>

namespace Velasystem {

bool ScenarioFile::run(const QString &path, const Executor &execute, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return false;
    }
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        QString line = QString::fromUtf8(file.readLine());
        while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QString reply = execute(line);
        if (reply.startsWith(QLatin1String("error"))) {
            *error = QStringLiteral("%1:%2: %3: %4").arg(path).arg(number).arg(line, reply);
            return false;
        }
    }
    return true;
}

} // namespace Velasystem
