#pragma once

#include <QBitArray>
#include <QString>

#include <mutex>

namespace Velasystem {

class Model;

// One call of the relay into the library: holds the model lock while the
// call runs and writes its journal line when it ends. Arguments go in with
// operator<< in call order.
class JournaledCall
{
public:
    enum class Marker {
        None,
        Gone,
        Closed
    };

    JournaledCall(const char *object, const char *method);
    ~JournaledCall();
    JournaledCall(const JournaledCall &) = delete;
    JournaledCall &operator=(const JournaledCall &) = delete;

    Model &model() { return m_model; }
    void target(int hubIndex, Marker marker = Marker::None);

    JournaledCall &operator<<(bool value);
    JournaledCall &operator<<(int value);
    JournaledCall &operator<<(uint value);
    JournaledCall &operator<<(const QString &text);
    JournaledCall &operator<<(const QBitArray &bits);
    // A string literal would silently become a bool.
    JournaledCall &operator<<(const char *) = delete;

    // False when the call must do nothing: its hub is gone, its session is
    // closed, or a tester asked for it to fail.
    bool proceed();

private:
    Model &m_model;
    std::unique_lock<std::mutex> m_lock;
    const char *m_object;
    const char *m_method;
    Marker m_marker = Marker::None;
    int m_hubIndex = 0;
    QString m_arguments;
};

} // namespace Velasystem
