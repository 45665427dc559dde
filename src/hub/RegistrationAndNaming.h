#pragma once

#include "IVelaRelayClient.h"

#include <velasystem/Device.h>

#include <QJsonObject>

namespace Velasystem {
class Hub;
class VelaSystem;
class VelahubExpressionNamingSession;
class VelahubRegistrationSession;
} // namespace Velasystem

// Registers learner devices with the voting hub, removes or clears them, and
// lets the teacher (through the library's naming session) or the learners
// (through the hub's own end-user naming) name them. The library keeps one
// registration and one naming session at a time, each opened for one hub, so
// this object remembers which hub each belongs to and closes it there.
// Results leave as the relay client's signals.
class RegistrationAndNaming : public QObject
{
    Q_OBJECT

public:
    RegistrationAndNaming(IVelaRelayClient &out, Velasystem::VelaSystem *system);

    // Every operation takes the current voting hub and does nothing without one.
    void startRegistration(Velasystem::Hub *votingHub, int count, int b, int c, const QString &code, int characterType,
                           int flag, int g);
    void stopRegistration(Velasystem::Hub *votingHub);
    void clearExpressions(Velasystem::Hub *votingHub);
    void removeDevice(Velasystem::Hub *votingHub, quint32 uid, int deviceType);

    void startTeacherNaming(Velasystem::Hub *votingHub);
    void startExpressionNaming(Velasystem::Hub *votingHub);
    void nameExpression(Velasystem::Hub *votingHub, quint32 uid, const QString &name);
    void stopTeacherNaming(Velasystem::Hub *votingHub);

    void startStudentNaming(Velasystem::Hub *votingHub, int a, qint8 characterType, int c, int flag);
    void stopStudentNaming(Velasystem::Hub *votingHub);

    // Ends what runs, for when nobody is left to follow it: the registration
    // with its report, the student naming only if one was started.
    void endRegistration();
    void endStudentNaming(Velasystem::Hub *votingHub);
    void hubGone(Velasystem::Hub *hub);
    // The registration with its counts, and both kinds of naming.
    QJsonObject status() const;

private slots:
    void expressionDeviceRegistered(const QString &name, quint32 uid, Velasystem::Device::SubType type);
    void handleExpressionDeviceNamed(const QString &name, quint32 uid);
    void handleEndUserNamingSessionResponse(Velasystem::Hub *hub, quint32 uid, int questionId, const QString &response);

private:
    void dropRegistration();

    IVelaRelayClient &m_out;
    Velasystem::VelaSystem *m_system;

    Velasystem::VelahubRegistrationSession *m_registration = nullptr;
    int m_registrationHub = -1;
    int m_expectedRegistrations = 0;
    int m_registeredCount = 0;
    Velasystem::VelahubExpressionNamingSession *m_naming = nullptr;
    int m_namingHub = -1;
    Velasystem::Hub *m_studentNamingHub = nullptr;
};
