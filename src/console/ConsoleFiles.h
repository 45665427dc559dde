#pragma once

#include <QByteArray>
#include <QList>

// The console's files as the relay serves them: the page at "/", its script
// and its style. Plain HTML, CSS and JavaScript: the page reads /status and
// /commands and watches the relay's WebSocket; it sends a command only when
// the operator types one and confirms it.
struct ConsoleFile
{
    QByteArray path;
    QByteArray contentType;
    QByteArray bytes;
};

QList<ConsoleFile> consoleFiles();
