#include "Commands.h"

#include "DevicePrivate.h"
#include "HubPrivate.h"
#include "Model.h"
#include "Responses.h"

#include <climits>

namespace Velasystem {

QString answerQuestion(CommandContext &c)
{
    const int index = c.args.hubIndex(0);
    QuestionKind kind = QuestionKind::Multichoice;
    if (!questionKindFromWord(c.args.word(1), &kind))
        c.args.fail(QStringLiteral("unknown question kind '%1'").arg(c.args.word(1)));
    const quint32 uid = c.args.uid(2);
    const auto questionId = static_cast<int>(c.args.integer(3, "QID", INT_MIN, INT_MAX));
    Response response;
    if (kind == QuestionKind::Text) {
        response.valid = c.args.flag(4, "VALID");
        response.text = c.args.text(5);
    } else if (kind == QuestionKind::Likert) {
        response.value = static_cast<int>(c.args.integer(4, "VALUE", INT_MIN, INT_MAX));
    } else if (isValueKind(kind)) {
        response.value = static_cast<int>(c.args.integer(4, "VALUE", 0, 2));
    } else {
        response.text = c.args.text(4);
    }
    Hub *hub = c.args.ok() ? hubWithDevice(c, index, uid) : nullptr;
    if (!hub)
        return error(c.args.error());
    emitResponse(hub, kind, uid, questionId, response);
    return ok();
}

QString autoAnswer(CommandContext &c)
{
    const QString mode = c.args.word(0);
    if (mode == QLatin1String("off") && c.args.count() == 1) {
        std::lock_guard<std::mutex> lock(c.model.mutex);
        c.model.autoAnswer.disable();
        return ok();
    }
    if (mode != QLatin1String("on"))
        return error(QStringLiteral("usage: auto-answer on [MAX_DELAY_MS] | auto-answer off"));
    const qint64 delay =
        c.args.count() > 1 ? c.args.integer(1, "MAX_DELAY_MS", 0, 3600000) : AutoAnswer::DefaultMaxDelayMs;
    if (!c.args.ok())
        return error(c.args.error());
    std::lock_guard<std::mutex> lock(c.model.mutex);
    c.model.autoAnswer.enable(static_cast<int>(delay));
    return ok();
}

QString endUserName(CommandContext &c)
{
    const int index = c.args.hubIndex(0);
    const quint32 uid = c.args.uid(1);
    const auto questionId = static_cast<int>(c.args.integer(2, "QID", INT_MIN, INT_MAX));
    const QString name = c.args.text(3);
    Hub *hub = c.args.ok() ? hubWithDevice(c, index, uid) : nullptr;
    if (!hub)
        return error(c.args.error());
    {
        // The relay may have removed the device meanwhile.
        std::lock_guard<std::mutex> lock(c.model.mutex);
        if (Device *device = HubPrivate::get(hub)->device(uid))
            DevicePrivate::get(device)->name = name;
    }
    emit hub->endUserNamingSessionResponse(hub, uid, questionId, name);
    return ok();
}

} // namespace Velasystem
