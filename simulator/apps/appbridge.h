#pragma once

#include <QDBusMessage>
#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QVariantList>

// The "orvana" object of every demo application's QML: who it is, the installed applications,
// launching one, and toasts.
class AppBridge : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString sopid READ sopid CONSTANT)
    Q_PROPERTY(QString uiappid READ uiappid CONSTANT)
    Q_PROPERTY(QStringList params READ params CONSTANT)
    Q_PROPERTY(QVariantList installedApps READ installedApps NOTIFY installedAppsChanged)
public:
    AppBridge(const QString& sopid, const QString& uiappid, const QStringList& params,
              QObject* parent = nullptr);

    QString sopid() const { return ownSopid; }
    QString uiappid() const { return ownUiappid; }
    QStringList params() const { return launchParams; }
    // Every application of the installed packages but this one: maps with sopid, uiappid, name.
    QVariantList installedApps() const;

    // Through the IOManager of orvana-sim, or straight to orvana-screen when it runs alone.
    Q_INVOKABLE void launch(const QString& sopid, const QString& uiappid);
    // Through "com.orvana.sim.Control", or straight to orvana-screen when it runs alone.
    Q_INVOKABLE void showToast(const QString& text);

signals:
    void installedAppsChanged();

private:
    static void callWithFallback(const QDBusMessage& call, const QDBusMessage& fallback);

    QString ownSopid;
    QString ownUiappid;
    QStringList launchParams;
    QFileSystemWatcher packagesWatcher;
};
