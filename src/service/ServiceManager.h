#pragma once

#include <QString>

// Tells a service manager that waits for it (systemd's Type=notify) how the
// relay is doing; without one (NOTIFY_SOCKET unset) nothing happens.
namespace ServiceManager {

// Listening with its key loaded: the relay is ready for clients.
void ready(const QString &status);
// A reload begins; ready() ends it.
void reloading();
void stopping();

} // namespace ServiceManager
