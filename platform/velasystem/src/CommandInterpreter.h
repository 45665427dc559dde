#pragma once

#include "Commands.h"

#include <QString>

#include <vector>

namespace Velasystem {

// The control commands: one table from command words to handlers, read by
// the lookup and by "help". Runs on the library thread, one command at a
// time.
//
// Every command has a one-line reply, so "help" lists the usages in one
// line, apart by U+001E (record separator, as the "devices" list is): the
// usages themselves hold spaces and "|". velasim shows one per line.
class CommandInterpreter
{
public:
    struct Row
    {
        const char *word;
        const char *sub; // second command word, or null
        int least;       // fewest argument words
        int most;        // most argument words, -1: no limit (TEXT)
        CommandHandler handler;
        const char *usage;
    };

    static const std::vector<Row> &table();

    CommandInterpreter(Model &model, EventLoop &loop, VelaSystem &system);
    QString execute(const QString &line);

private:
    Model &m_model;
    EventLoop &m_loop;
    VelaSystem &m_system;
};

} // namespace Velasystem
