#pragma once

#include <QString>

#include <vector>

namespace Velasystem {

// Every library call that can fail on request, by the object word and the
// method name the journal uses. All of them are journaled except
// getHubList, a query.
struct MethodRow
{
    const char *object;
    const char *method;
};

const std::vector<MethodRow> &methodTable();
bool isObjectWord(const QString &word);
bool isKnownMethod(const QString &object, const QString &method);

} // namespace Velasystem
