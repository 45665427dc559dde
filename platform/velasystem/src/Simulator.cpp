#include "Library.h"

#include <velasystem_simulator/Simulator.h>

namespace Velasystem {

QString Simulator::execute(const QString &line)
{
    return Library::get().execute(line);
}

void Simulator::reset()
{
    Library::get().reset();
}

bool Simulator::loadScenario(const QString &path, QString *error)
{
    return Library::get().loadScenario(path, error);
}

bool Simulator::isLibraryThread()
{
    return Library::get().loop().isCurrent();
}

} // namespace Velasystem
