#pragma once

#include <velasystem/Export.h>

#include <QString>

namespace Velasystem {

// The simulator's own interface, for tests and tools only; the relay never
// includes it.
class VELASYSTEM_EXPORT Simulator
{
public:
    Simulator() = delete;

    // Runs one control command on the library thread and returns its reply,
    // exactly as a control client sees it without the final line feed (for
    // "calls" all its lines). Starts the library when needed. Safe from any
    // thread, the library thread included.
    static QString execute(const QString &line);

    // Back to a known state: every hub removed (hubDisconnected emitted for
    // each), every session closed, auto-answer off, faults cleared, journal
    // emptied.
    static void reset();

    // Runs a scenario file as initialise() does. On failure returns false
    // and sets error to a message naming the file and the line.
    static bool loadScenario(const QString &path, QString *error);

    // True on the library's own thread.
    static bool isLibraryThread();
};

} // namespace Velasystem
