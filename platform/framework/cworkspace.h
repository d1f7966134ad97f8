#pragma once

#include <QObject>
#include <QStringList>

namespace ORVANA {

// Base of every application's workspace. The framework creates the application object
// before the first workspace exists, so a workspace constructor may use D-Bus, sockets
// and settings right away.
class CWorkspace : public QObject
{
    Q_OBJECT
public:
    enum Option {
        LaunchFromHome = 0,
        LaunchFromApplication = 1,
        LaunchAsService = 2,
        LaunchRestored = 3
    };
    Q_ENUM(Option)

    explicit CWorkspace(QObject* parent = nullptr);
    ~CWorkspace() override;

    // Called by the framework once the event loop runs.
    virtual void onLaunchComplete(Option option, const QStringList& params);
};

} // namespace ORVANA
