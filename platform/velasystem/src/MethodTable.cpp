#include "MethodTable.h"

#include <algorithm>

namespace Velasystem {

const std::vector<MethodRow> &methodTable()
{
    static const std::vector<MethodRow> rows = {
        // VelaSystem
        {"system", "getHubList"},
        {"system", "startVelahubRegistrationSession"},
        {"system", "stopVelahubRegistrationSession"},
        {"system", "startVelahubExpressionNamingSession"},
        {"system", "stopVelahubExpressionNamingSession"},
        // Hub: board modes
        {"hub", "setPenHardwareMode"},
        {"hub", "setPenReportMode"},
        {"hub", "setTouchReportMode"},
        {"hub", "setEraseReportMode"},
        {"hub", "setBacklight"},
        {"hub", "resetHubSession"},
        // Hub: simple questions and learner naming
        {"hub", "startMultichoiceSession"},
        {"hub", "startSortInOrderSession"},
        {"hub", "startLikertSession"},
        {"hub", "startYesNoSession"},
        {"hub", "startTrueFalseSession"},
        {"hub", "startNumericSession"},
        {"hub", "startTextSession"},
        {"hub", "stopSession"},
        {"hub", "startExpressionEnduserNamingSession"},
        {"hub", "stopExpressionEndUserNamingSession"},
        // VelahubRegistrationSession
        {"registration", "startExpressionRegistrationSession"},
        {"registration", "startNamingExpressionRegistrationSession"},
        {"registration", "stopExpressionRegistrationSession"},
        {"registration", "clearHubOfExpressions"},
        {"registration", "removeVelaexpression"},
        {"registration", "removeVelavote"},
        {"registration", "removeSlate"},
        // VelahubExpressionNamingSession
        {"naming", "startExpressionNamingSession"},
        {"naming", "stopExpressionNamingSession"},
        {"naming", "nameExpression"},
        // EnhancedQuestionSession
        {"enhanced", "startSession"},
        {"enhanced", "stopSession"},
        {"enhanced", "sendQuestion"},
        {"enhanced", "sendSessionParameters"},
        {"enhanced", "sendMessage"},
        {"enhanced", "sendPopUpMessage"},
        {"enhanced", "sendNoMoreQuestionsNotification"},
    };
    return rows;
}

bool isObjectWord(const QString &word)
{
    const auto &rows = methodTable();
    return std::any_of(rows.begin(), rows.end(),
                       [&](const MethodRow &row) { return word == QLatin1String(row.object); });
}

bool isKnownMethod(const QString &object, const QString &method)
{
    const auto &rows = methodTable();
    return std::any_of(rows.begin(), rows.end(), [&](const MethodRow &row) {
        return (object.isEmpty() || object == QLatin1String(row.object)) && method == QLatin1String(row.method);
    });
}

} // namespace Velasystem
