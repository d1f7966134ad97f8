#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QStringList>

struct SimContext;

// "com.orvana.compositor.IOManager": application launch and quit.
class IOManagerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvana.compositor.IOManager")
public:
    IOManagerAdaptor(const SimContext& context, QObject* parent);

public slots:
    // "PowerLaunchRunApp", uid, sopid, uiappid, parameters..., separated by tabs.
    bool sendAppData(const QString& command, const QDBusMessage& message);
    // Each item "sopid/uiappid".
    bool quitApps(const QStringList& items, const QDBusMessage& message);

private:
    const SimContext& m_context;
};
