#pragma once

#include <velasystem/Export.h>

#include <QList>
#include <QObject>
#include <QString>

namespace Velasystem {

class Hub;
class VelahubExpressionNamingSession;
class VelahubRegistrationSession;

// The library's entry point, one per process. The library runs a thread of
// its own: hub and session signals are emitted from it, so receivers in
// other threads get them queued. Hub, device and session objects live as
// long as the process.
class VELASYSTEM_EXPORT VelaSystem : public QObject
{
    Q_OBJECT

public:
    static VelaSystem *instance();

    // Starts the library. False when it cannot (the reason goes out as a Qt
    // warning); later calls do nothing and return the first result.
    bool initialise();

    // The connected hubs in ascending hub index. On false the list is empty.
    bool getHubList(QList<Velasystem::Hub *> &hubs);

    // One registration session and one naming session at a time. A start for
    // a hub whose session is open returns that session; null when the hub is
    // not connected or another hub's session is open. A stop closes the
    // session of that hub.
    VelahubRegistrationSession *startVelahubRegistrationSession(int hubIndex);
    void stopVelahubRegistrationSession(int hubIndex);
    VelahubExpressionNamingSession *startVelahubExpressionNamingSession(int hubIndex);
    void stopVelahubExpressionNamingSession(int hubIndex);

    // Replaces each presentation MathML fragment (<math>...</math>, with or
    // without a namespace prefix) of input by a translation and writes the
    // result to output. Text outside the fragments is copied unchanged.
    //   latex    true: the translation is LaTeX (\frac{a}{b}, x^{2}, \sqrt{x});
    //            false: it is linear plain text for devices that cannot
    //            typeset (a/b, x^2, sqrt(x)).
    //   delimit  true: each translation is written between startTag and
    //            endTag; false: it is written bare.
    // Supported elements: math, mrow, mi, mn, mo, mtext, mfrac, msup, msub,
    // msubsup, msqrt, mroot, mfenced. A fragment that is not well-formed XML,
    // uses another element, has the wrong number of children or nests deeper
    // than 100 elements is copied as it is. Returns true when at least one
    // fragment was translated. Safe from any thread.
    static bool translateTextMathmlToLatex(const QString &input, QString &output, const QString &startTag,
                                           const QString &endTag, bool latex, bool delimit);
    // The same with empty tags, so delimit has no visible effect.
    static bool translateTextMathmlToLatex(const QString &input, QString &output, bool latex, bool delimit);

signals:
    void newHubConnected(Velasystem::Hub *hub);
    void hubDisconnected(Velasystem::Hub *hub);

private:
    friend class Library;
    VelaSystem();
    ~VelaSystem() override;
};

} // namespace Velasystem
