#pragma once

#include <velasystem/Device.h>
#include <velasystem/Export.h>
#include <velasystem/RegistrationCode.h>

#include <QObject>
#include <QString>

#include <memory>

namespace Velasystem {

class SessionState;

// Registration of learner devices with one hub, opened by
// VelaSystem::startVelahubRegistrationSession and closed by
// VelaSystem::stopVelahubRegistrationSession. The object outlives its
// session: calls on a closed session do nothing and return false.
class VELASYSTEM_EXPORT VelahubRegistrationSession : public QObject
{
    Q_OBJECT

public:
    using RegistrationCode = Velasystem::RegistrationCode;

    ~VelahubRegistrationSession() override;

    bool startExpressionRegistrationSession(quint16 count, quint8 channel, quint8 group, const RegistrationCode &code);
    // As above, and each device asks its learner for a name of the given
    // character type.
    bool startNamingExpressionRegistrationSession(quint16 count, quint8 channel, quint8 group,
                                                  const RegistrationCode &code, int characterType, bool confirm,
                                                  quint8 maxLength);
    bool stopExpressionRegistrationSession();
    // Takes every expression device off the hub.
    bool clearHubOfExpressions();
    // True when the hub had a device of that uid and sub type, now removed.
    bool removeVelaexpression(quint32 uid);
    bool removeVelavote(quint32 uid);
    bool removeSlate(quint32 uid);

signals:
    void expressionDeviceRegistered(const QString &name, quint32 uid, Velasystem::Device::SubType type);

private:
    friend class SessionState;
    explicit VelahubRegistrationSession(SessionState *state);
    std::unique_ptr<SessionState> d;
};

} // namespace Velasystem
