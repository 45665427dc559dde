#pragma once

#include <QString>
#include <QStringList>

// The requests a user makes of the executable itself, answered before any
// part of the relay starts.
namespace CommandLine {

enum class Request {
    Run,
    Help,
    Version
};

// The first of --help, -h, --version and -v decides; anything else runs the
// relay (unknown arguments are ignored, as they always were).
Request request(const QStringList &arguments);
// folder: where the relay looks for its settings and key.
QString usage(const QString &folder);
QString version();

} // namespace CommandLine
