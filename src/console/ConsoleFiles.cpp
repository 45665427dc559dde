#include "ConsoleFiles.h"

#include <QFile>

// Outside any namespace, as Q_INIT_RESOURCE wants: the resource lives in a
// static library, whose initialiser the linker would otherwise leave out.
static void initConsoleResource()
{
    Q_INIT_RESOURCE(console);
}

QList<ConsoleFile> consoleFiles()
{
    initConsoleResource();
    const struct
    {
        const char *path;
        const char *resource;
        const char *contentType;
    } files[] = {
        {"/", ":/console/index.html", "text/html; charset=utf-8"},
        {"/board.js", ":/console/board.js", "text/javascript; charset=utf-8"},
        {"/console.js", ":/console/console.js", "text/javascript; charset=utf-8"},
        {"/console.css", ":/console/console.css", "text/css; charset=utf-8"},
        {"/favicon.svg", ":/console/favicon.svg", "image/svg+xml"},
    };
    QList<ConsoleFile> list;
    for (const auto &file : files) {
        QFile resource(QString::fromLatin1(file.resource));
        // A file left out of the resource is a fault of the build: said once,
        // and its path answers 404 rather than an empty page.
        if (!resource.open(QIODevice::ReadOnly)) {
            qWarning("console: %s is missing from the build", file.resource);
            continue;
        }
        list.append({file.path, file.contentType, resource.readAll()});
    }
    return list;
}
