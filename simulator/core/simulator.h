#pragma once

#include "simcontext.h"

#include <QObject>

// The simulated phone's core: builds the parts, installs the demo packages and offers every
// D-Bus service on the system bus.
class Simulator : public QObject
{
    Q_OBJECT
public:
    explicit Simulator(QObject* parent = nullptr);
    ~Simulator() override;

    // False (with a message) when the bus or a service name cannot be had.
    bool start();

private:
    QObject* exportObject(const QString& path);
    bool registerObjects();

    SimContext m_context;
};
