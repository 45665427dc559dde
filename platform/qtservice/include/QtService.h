#pragma once

#include "QtServiceBase.h"

template <typename Application>
class QtService : public QtServiceBase
{
public:
    QtService(int argc, char **argv, const QString &name)
        : QtServiceBase(argc, argv, name)
    {}
    ~QtService() override { delete m_application; }

protected:
    Application *application() const { return m_application; }

    void createApplication(int &argc, char **argv) override { m_application = new Application(argc, argv); }
    int executeApplication() override { return Application::exec(); }
    void quitApplication() override { Application::quit(); }
    void destroyApplication() override
    {
        delete m_application;
        m_application = nullptr;
    }

private:
    Application *m_application = nullptr;
};
