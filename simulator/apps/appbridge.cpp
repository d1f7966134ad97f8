#include "appbridge.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QVariantMap>

#include <unistd.h>

#include "package.h"

namespace {

QDBusMessage screenCall(const QString& method, const QVariantList& args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("com.orvana.sim.Screen"), QStringLiteral("/screen"),
        QStringLiteral("com.orvana.sim.Screen"), method);
    call.setArguments(args);
    return call;
}

} // namespace

AppBridge::AppBridge(const QString& sopid, const QString& uiappid, const QStringList& params,
                     QObject* parent)
    : QObject(parent), ownSopid(sopid), ownUiappid(uiappid), launchParams(params)
{
    QDir().mkpath(Package::installedDir());
    packagesWatcher.addPath(Package::installedDir());
    connect(&packagesWatcher, &QFileSystemWatcher::directoryChanged, this,
            &AppBridge::installedAppsChanged);
}

QVariantList AppBridge::installedApps() const
{
    QVariantList list;
    for (const QString& file : Package::installedFiles()) {
        const Package package = Package::load(file);
        if (!package.isValid() || package.sopid == ownSopid)
            continue;
        for (const Package::App& app : package.apps) {
            list.append(QVariantMap{{QStringLiteral("sopid"), package.sopid},
                                    {QStringLiteral("uiappid"), app.uiappid},
                                    {QStringLiteral("name"), app.name.isEmpty() ? app.uiappid : app.name}});
        }
    }
    return list;
}

void AppBridge::launch(const QString& sopid, const QString& uiappid)
{
    const QString text = QStringLiteral("PowerLaunchRunApp\t%1\t%2\t%3\t")
                             .arg(getuid()).arg(sopid, uiappid);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("com.orvana.iomanager"), QStringLiteral("/com/orvana/compositor/IOManager"),
        QStringLiteral("com.orvana.compositor.IOManager"), QStringLiteral("sendAppData"));
    call << text;
    callWithFallback(call, screenCall(QStringLiteral("launch"),
                                      {sopid, uiappid, QStringList(), uint(getuid())}));
}

void AppBridge::showToast(const QString& text)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("com.orvana.sim"), QStringLiteral("/com/orvana/sim"),
        QStringLiteral("com.orvana.sim.Control"), QStringLiteral("showToast"));
    call << text;
    callWithFallback(call, screenCall(QStringLiteral("showToast"), {text}));
}

void AppBridge::callWithFallback(const QDBusMessage& call, const QDBusMessage& fallback)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [watcher, fallback]() {
        const QDBusError::ErrorType error = watcher->error().type();
        if (error == QDBusError::ServiceUnknown)
            QDBusConnection::systemBus().send(fallback);
        watcher->deleteLater();
    });
}
