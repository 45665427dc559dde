#pragma once

// Only the start-up types are needed: how a service is installed and started
// is left to the system's service manager (systemd).
class QtServiceController
{
public:
    enum StartupType {
        AutoStartup = 0,
        ManualStartup = 1
    };
};
