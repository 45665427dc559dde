#pragma once

#include <QString>

#include <functional>

namespace Velasystem {

// A file of control commands run at start-up: one per line, blank lines and
// lines starting with "#" skipped. Stops at the first line whose reply is an
// error and names the file and the line in the message.
class ScenarioFile
{
public:
    using Executor = std::function<QString(const QString &line)>;

    static bool run(const QString &path, const Executor &execute, QString *error);
};

} // namespace Velasystem
