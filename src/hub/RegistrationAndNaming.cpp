#include "RegistrationAndNaming.h"

#include <velasystem/Hub.h>
#include <velasystem/VelaSystem.h>
#include <velasystem/VelahubExpressionNamingSession.h>
#include <velasystem/VelahubRegistrationSession.h>

using Velasystem::Hub;

RegistrationAndNaming::RegistrationAndNaming(IVelaRelayClient &out, Velasystem::VelaSystem *system)
    : m_out(out)
    , m_system(system)
{}

// Registration ----------------------------------------------------------------

void RegistrationAndNaming::startRegistration(Hub *votingHub, int count, int b, int c, const QString &code,
                                              int characterType, int flag, int g)
{
    if (!votingHub)
        return;
    m_expectedRegistrations = count;
    m_registeredCount = 0;
    const int hubIndex = votingHub->hubIndex();
    dropRegistration();
    m_system->stopVelahubRegistrationSession(hubIndex);
    m_registration = m_system->startVelahubRegistrationSession(hubIndex);
    m_registrationHub = hubIndex;
    if (!m_registration) {
        emit m_out.sendRegistrationComplete(0);
        return;
    }
    connect(m_registration, &Velasystem::VelahubRegistrationSession::expressionDeviceRegistered, this,
            &RegistrationAndNaming::expressionDeviceRegistered, Qt::UniqueConnection);
    const Velasystem::RegistrationCode registrationCode(code);
    if (g != 0)
        m_registration->startNamingExpressionRegistrationSession(static_cast<quint16>(count), static_cast<quint8>(b),
                                                                 static_cast<quint8>(c), registrationCode,
                                                                 characterType, flag != 0, static_cast<quint8>(g));
    else
        m_registration->startExpressionRegistrationSession(static_cast<quint16>(count), 0, 0, registrationCode);
}

void RegistrationAndNaming::expressionDeviceRegistered(const QString &name, quint32 uid,
                                                       Velasystem::Device::SubType type)
{
    if (!m_registration)
        return;
    ++m_registeredCount;
    emit m_out.sendExpressionDeviceRegistered(name, uid, static_cast<uint>(type), static_cast<uint>(m_registeredCount));
    if (m_registeredCount >= m_expectedRegistrations)
        endRegistration();
}

void RegistrationAndNaming::endRegistration()
{
    if (!m_registration)
        return;
    disconnect(m_registration, nullptr, this, nullptr);
    m_registration->stopExpressionRegistrationSession();
    m_system->stopVelahubRegistrationSession(m_registrationHub);
    m_registration = nullptr;
    emit m_out.sendRegistrationComplete(static_cast<uint>(m_registeredCount));
}

void RegistrationAndNaming::stopRegistration(Hub *votingHub)
{
    if (votingHub)
        endRegistration();
}

void RegistrationAndNaming::dropRegistration()
{
    // The library keeps one registration session at a time, so an open one
    // is closed on the hub it was opened for, without a report, as a new
    // registration replaces it.
    if (!m_registration)
        return;
    disconnect(m_registration, nullptr, this, nullptr);
    m_system->stopVelahubRegistrationSession(m_registrationHub);
    m_registration = nullptr;
}

void RegistrationAndNaming::clearExpressions(Hub *votingHub)
{
    if (!votingHub)
        return;
    const int hubIndex = votingHub->hubIndex();
    if (m_registration && m_registrationHub == hubIndex) {
        // Through the registration under way, which stays open: a client
        // waiting for its end must still learn of it.
        m_registration->clearHubOfExpressions();
        return;
    }
    // The library opens one registration session at a time, so one still
    // open for an earlier voting hub ends first, with its report.
    endRegistration();
    Velasystem::VelahubRegistrationSession *session = m_system->startVelahubRegistrationSession(hubIndex);
    if (!session)
        return;
    session->clearHubOfExpressions();
    // Closed whatever the result, so a failed clear leaves no session open.
    m_system->stopVelahubRegistrationSession(hubIndex);
}

void RegistrationAndNaming::removeDevice(Hub *votingHub, quint32 uid, int deviceType)
{
    if (!votingHub)
        return;
    const uchar type = static_cast<uchar>(deviceType);
    const int hubIndex = votingHub->hubIndex();
    // As for a clear: through the registration under way, which stays open,
    // or else through a session of its own (one of an earlier voting hub
    // ending first, with its report).
    const bool registering = m_registration && m_registrationHub == hubIndex;
    Velasystem::VelahubRegistrationSession *session = m_registration;
    if (!registering) {
        endRegistration();
        m_system->stopVelahubRegistrationSession(hubIndex);
        session = m_system->startVelahubRegistrationSession(hubIndex);
    }
    bool removed = false;
    if (session) {
        switch (type) {
        case Velasystem::Device::Velaexpression: removed = session->removeVelaexpression(uid); break;
        case Velasystem::Device::Velavote: removed = session->removeVelavote(uid); break;
        case Velasystem::Device::Slate: removed = session->removeSlate(uid); break;
        default: break;
        }
        if (!registering)
            m_system->stopVelahubRegistrationSession(hubIndex);
    }
    emit m_out.sendRemoveVelaDevice(uid, type, removed);
}

// Naming -------------------------------------------------------------------------

void RegistrationAndNaming::startTeacherNaming(Hub *votingHub)
{
    if (!votingHub)
        return;
    // One still open for an earlier voting hub is closed first. Asked again
    // for the same hub, the library hands back the open session.
    if (m_naming && m_namingHub != votingHub->hubIndex())
        stopTeacherNaming(votingHub);
    m_naming = m_system->startVelahubExpressionNamingSession(votingHub->hubIndex());
    m_namingHub = votingHub->hubIndex();
    if (!m_naming) {
        emit m_out.sendNamingSessionStatus(0);
        return;
    }
    connect(m_naming, &Velasystem::VelahubExpressionNamingSession::expressionDeviceNamed, this,
            &RegistrationAndNaming::handleExpressionDeviceNamed, Qt::UniqueConnection);
    emit m_out.sendNamingSessionStatus(1);
}

void RegistrationAndNaming::startExpressionNaming(Hub *votingHub)
{
    if (votingHub && m_naming)
        m_naming->startExpressionNamingSession();
}

void RegistrationAndNaming::nameExpression(Hub *votingHub, quint32 uid, const QString &name)
{
    if (votingHub && m_naming)
        m_naming->nameExpression(uid, name);
}

void RegistrationAndNaming::stopTeacherNaming(Hub *votingHub)
{
    if (!votingHub || !m_naming)
        return;
    m_naming->stopExpressionNamingSession();
    disconnect(m_naming, nullptr, this, nullptr);
    m_system->stopVelahubExpressionNamingSession(m_namingHub);
    m_naming = nullptr;
}

void RegistrationAndNaming::handleExpressionDeviceNamed(const QString &name, quint32 uid)
{
    emit m_out.updateExpressionName(uid, name);
}

void RegistrationAndNaming::startStudentNaming(Hub *votingHub, int a, qint8 characterType, int c, int flag)
{
    if (!votingHub)
        return;
    if (!votingHub->startExpressionEnduserNamingSession(a, characterType, c, flag != 0, nullptr, nullptr)) {
        emit m_out.sendNamingSessionStatus(0);
        return;
    }
    connect(votingHub, &Hub::endUserNamingSessionResponse, this,
            &RegistrationAndNaming::handleEndUserNamingSessionResponse, Qt::UniqueConnection);
    m_studentNamingHub = votingHub;
    emit m_out.sendNamingSessionStatus(1);
}

void RegistrationAndNaming::stopStudentNaming(Hub *votingHub)
{
    if (!votingHub)
        return;
    // The session ends on the hub it runs on, which an earlier voting hub may
    // still be.
    Hub *hub = m_studentNamingHub ? m_studentNamingHub : votingHub;
    hub->stopExpressionEndUserNamingSession();
    disconnect(hub, &Hub::endUserNamingSessionResponse, this,
               &RegistrationAndNaming::handleEndUserNamingSessionResponse);
    m_studentNamingHub = nullptr;
}

void RegistrationAndNaming::endStudentNaming(Hub *votingHub)
{
    if (m_studentNamingHub)
        stopStudentNaming(votingHub);
}

void RegistrationAndNaming::handleEndUserNamingSessionResponse(Hub *, quint32 uid, int, const QString &response)
{
    emit m_out.updateExpressionName(uid, response);
}

void RegistrationAndNaming::hubGone(Hub *hub)
{
    // Nothing is called on the hub or its session objects any more; a
    // registration the clients were following ends with its report, as when
    // it ends normally.
    const int hubIndex = hub->hubIndex();
    if (m_registration && m_registrationHub == hubIndex) {
        dropRegistration();
        emit m_out.sendRegistrationComplete(static_cast<uint>(m_registeredCount));
    }
    if (m_naming && m_namingHub == hubIndex) {
        disconnect(m_naming, nullptr, this, nullptr);
        m_system->stopVelahubExpressionNamingSession(hubIndex);
        m_naming = nullptr;
    }
    if (m_studentNamingHub == hub) {
        disconnect(hub, &Hub::endUserNamingSessionResponse, this,
                   &RegistrationAndNaming::handleEndUserNamingSessionResponse);
        m_studentNamingHub = nullptr;
    }
}

QJsonObject RegistrationAndNaming::status() const
{
    QJsonObject registration{{"running", m_registration != nullptr}};
    if (m_registration) {
        registration.insert("hub", m_registrationHub);
        registration.insert("expected", m_expectedRegistrations);
        registration.insert("registered", m_registeredCount);
    }
    QJsonObject teacher{{"running", m_naming != nullptr}};
    if (m_naming)
        teacher.insert("hub", m_namingHub);
    QJsonObject student{{"running", m_studentNamingHub != nullptr}};
    if (m_studentNamingHub)
        student.insert("hub", m_studentNamingHub->hubIndex());
    return QJsonObject{{"registration", registration}, {"teacherNaming", teacher}, {"studentNaming", student}};
}
