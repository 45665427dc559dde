#include "CommandInterpreter.h"

#include "CommandLine.h"

#include <QStringList>

namespace Velasystem {

namespace {
QString help(CommandContext &);

QString ping(CommandContext &)
{
    return ok(QStringLiteral("pong"));
}
} // namespace

QString ok()
{
    return QStringLiteral("ok");
}

QString ok(const QString &payload)
{
    return payload.isEmpty() ? ok() : QStringLiteral("ok ") + payload;
}

QString error(const QString &message)
{
    return QStringLiteral("error ") + message;
}

const std::vector<CommandInterpreter::Row> &CommandInterpreter::table()
{
    static const std::vector<Row> rows = {
        // Hubs
        {"hub", "add", 1, -1, hubAdd,
         "hub add INDEX [type=N] [pens=N] [touches=N] [erasers=N] [touch=0|1] [erase=0|1] "
         "[virtual=0|1] [state=N] [enhanced=0|1]"},
        {"hub", "remove", 1, 1, hubRemove, "hub remove INDEX"},
        {"hub", "set", 2, -1, hubSet, "hub set INDEX key=value ..."},
        {"hubs", nullptr, 0, 0, hubList, "hubs"},
        // Devices
        {"device", "add", 3, -1, deviceAdd, "device add HUB UID SUBTYPE [TEXT]"},
        {"device", "remove", 2, 2, deviceRemove, "device remove HUB UID"},
        {"devices", nullptr, 1, 1, deviceList, "devices HUB"},
        // Board input
        {"pen", nullptr, 6, 7, penInput, "pen HUB ID X Y TIP BARREL [EVENT]"},
        {"touch", nullptr, 2, -1, touchInput, "touch HUB ID:X:Y:PRESSED ..."},
        {"eraser", nullptr, 2, -1, eraserInput, "eraser HUB ID:X:Y:W:H:PRESSED ..."},
        {"stroke", nullptr, 7, 7, strokeInput, "stroke HUB ID X0 Y0 X1 Y1 STEPS"},
        // Simple-question answers
        {"answer", nullptr, 4, -1, answerQuestion,
         "answer HUB multichoice|numeric|sortinorder UID QID TEXT | answer HUB text UID QID "
         "VALID TEXT | answer HUB yesno|truefalse|likert UID QID VALUE"},
        {"auto-answer", nullptr, 1, 2, autoAnswer, "auto-answer on [MAX_DELAY_MS] | auto-answer off"},
        // Enhanced sessions
        {"enhanced", nullptr, 3, -1, enhancedRequest,
         "enhanced HUB getSessionParameters|getQuestion|...Answer|deviceShutDown UID ..."},
        // Registration and naming
        {"register", nullptr, 2, -1, registerDevice, "register UID SUBTYPE TEXT"},
        {"name", nullptr, 1, -1, nameDevice, "name UID TEXT"},
        {"enduser-name", nullptr, 3, -1, endUserName, "enduser-name HUB UID QID TEXT"},
        // Faults and journal
        {"fail", nullptr, 1, 3, failMethod, "fail [OBJECT] METHOD [COUNT]"},
        {"calls", nullptr, 0, 0, takeCalls, "calls"},
        // Other
        {"help", nullptr, 0, 0, help, "help"},
        {"ping", nullptr, 0, 0, ping, "ping"},
    };
    return rows;
}

namespace {
QString help(CommandContext &)
{
    QStringList usages;
    for (const CommandInterpreter::Row &row : CommandInterpreter::table())
        usages.append(QLatin1String(row.usage));
    return ok(usages.join(QChar(0x1e)));
}
} // namespace

CommandInterpreter::CommandInterpreter(Model &model, EventLoop &loop, VelaSystem &system)
    : m_model(model)
    , m_loop(loop)
    , m_system(system)
{}

QString CommandInterpreter::execute(const QString &text)
{
    QString line = text;
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    if (line.contains(QLatin1Char('\n')))
        return error(QStringLiteral("one command per line"));
    const CommandLine words(line);
    if (words.count() == 0)
        return error(QStringLiteral("empty command"));
    const QString word = words.word(0);
    bool wordKnown = false;
    for (const Row &row : table()) {
        if (word != QLatin1String(row.word))
            continue;
        wordKnown = true;
        if (row.sub && words.word(1) != QLatin1String(row.sub))
            continue;
        Arguments args(words, row.sub ? 2 : 1);
        if (args.count() < row.least || (row.most >= 0 && args.count() > row.most))
            return error(QStringLiteral("usage: ") + QLatin1String(row.usage));
        CommandContext context{m_model, m_loop, m_system, args};
        return row.handler(context);
    }
    if (wordKnown)
        return error(QStringLiteral("unknown %1 command '%2'").arg(word, words.word(1)));
    return error(QStringLiteral("unknown command '%1' (try help)").arg(word));
}

} // namespace Velasystem
