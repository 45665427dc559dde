#pragma once

#include <velasystem/Export.h>

#include <QObject>
#include <QString>

#include <memory>

namespace Velasystem {

class SessionState;

// The teacher names expression devices of one hub. Opened by
// VelaSystem::startVelahubExpressionNamingSession and closed by
// VelaSystem::stopVelahubExpressionNamingSession; calls on a closed session
// do nothing and return false.
class VELASYSTEM_EXPORT VelahubExpressionNamingSession : public QObject
{
    Q_OBJECT

public:
    ~VelahubExpressionNamingSession() override;

    bool startExpressionNamingSession();
    bool stopExpressionNamingSession();
    // True when the hub has a device with that uid; the device takes the name.
    bool nameExpression(quint32 uid, const QString &name);

signals:
    void expressionDeviceNamed(const QString &name, quint32 uid);

private:
    friend class SessionState;
    explicit VelahubExpressionNamingSession(SessionState *state);
    std::unique_ptr<SessionState> d;
};

} // namespace Velasystem
