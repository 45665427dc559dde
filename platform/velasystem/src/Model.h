#pragma once

#include "AutoAnswer.h"
#include "FaultTable.h"
#include "Journal.h"

#include <QList>

#include <memory>
#include <mutex>
#include <vector>

class QObject;

namespace Velasystem {

class Device;
class Hub;
class VelahubExpressionNamingSession;
class VelahubRegistrationSession;

// Everything the simulated hardware knows. One lock guards all of it and the
// private state of every hub, device and session, so the relay may read
// from any thread while commands change it on the library thread. The lock
// is never held while a signal is emitted: a receiver connected directly
// may call straight back into the library.
class Model
{
public:
    static Model &get();

    Model();
    ~Model();
    Model(const Model &) = delete;
    Model &operator=(const Model &) = delete;

    std::mutex mutex;
    Journal journal;
    FaultTable faults;
    AutoAnswer autoAnswer;
    // The open factory sessions; null when none is open.
    VelahubRegistrationSession *registration = nullptr;
    VelahubExpressionNamingSession *naming = nullptr;

    const QList<Hub *> &hubs() const { return m_hubs; }
    Hub *hubAt(int index) const;
    void connectHub(Hub *hub);
    // Takes the hub off the list, marks it gone and closes its sessions.
    void disconnectHub(Hub *hub);
    void closeRegistration();
    void closeNaming();

    // Objects handed to the relay are never destroyed while it may hold
    // them; the model owns them until the process ends.
    void keep(QObject *object);
    void keep(Device *device);

private:
    QList<Hub *> m_hubs;
    std::vector<std::unique_ptr<QObject>> m_objects;
    std::vector<std::unique_ptr<Device>> m_devices;
};

} // namespace Velasystem
