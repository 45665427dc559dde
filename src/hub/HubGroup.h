#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>

namespace Velasystem {
class Hub;
class VelaSystem;
} // namespace Velasystem

// Applies queries and report modes to every connected hub. The hub list is
// fetched afresh for each operation; a list the library cannot give counts as
// no hubs.
class HubGroup
{
public:
    explicit HubGroup(Velasystem::VelaSystem *system);

    QList<Velasystem::Hub *> hubs() const;

    int maxPens() const;
    int maxTouches() const;
    int maxErasers() const;

    // Report modes of the real boards; virtual hubs are left alone.
    void setPenMode(bool isPrivate, int penId);
    void setAllPensMode(bool isPrivate);
    void setTouchMode(bool isPrivate);
    void setEraseMode(bool isPrivate);

    // Every hub with what it has, and the modes last asked of the boards.
    QJsonArray status(const Velasystem::Hub *votingHub) const;
    QJsonObject boardModes() const;

    // The fixed capability numbers of a voting hub, k from 0 to 11.
    static int capabilityValue(int k);

    static constexpr int VotingHubType = 2;
    static constexpr int PenHardwareMode = 5002;
    static constexpr int PenReportNative = 6000;
    static constexpr int PenReportPrivate = 6001;

private:
    Velasystem::VelaSystem *m_system;
    // Private (true) or native, by pen id; what no mode was asked for yet is native.
    QMap<int, bool> m_penModes;
    bool m_touchPrivate = false;
    bool m_erasePrivate = false;
};
