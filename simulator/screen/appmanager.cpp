#include "appmanager.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSharedPointer>
#include <QTimer>

#include "appprocess.h"
#include "eventlog.h"
#include "package.h"

const char AppManager::HOME_SOPID[] = "com.orvana.home";

namespace {

const char HOME_UIAPPID[] = "home";
// A launch answers once the application shows, or after this long while it still starts.
const int LAUNCH_WAIT_MS = 4000;
const int QUIT_WAIT_MS = 3000;
// The home screen is restarted when it ends, but not for ever when it cannot start at all.
const int MAX_HOME_RESTARTS = 5;
const int HOME_RESTART_DELAY_MS = 500;

// Calls the wrapped function once; later calls do nothing.
AppManager::Done once(const AppManager::Done& done)
{
    auto called = QSharedPointer<bool>::create(false);
    return [called, done](bool ok) {
        if (*called)
            return;
        *called = true;
        if (done)
            done(ok);
    };
}

} // namespace

AppManager::AppManager(QObject* parent) : QObject(parent)
{
}

QString AppManager::packageFile(const QString& sopid) const
{
    const QString installed = Package::installedFile(sopid);
    if (installed.isEmpty() || QFileInfo::exists(installed) || sopid != QLatin1String(HOME_SOPID))
        return installed;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../share/orvana/packages/")
        + sopid + QStringLiteral(".opk");
}

AppProcess* AppManager::find(const QString& sopid, const QString& uiappid) const
{
    for (AppProcess* app : stack) {
        if (app->sopid() == sopid && app->uiappid() == uiappid && !app->hasEnded())
            return app;
    }
    return nullptr;
}

AppProcess* AppManager::top() const
{
    for (int i = stack.size() - 1; i >= 0; --i) {
        if (stack[i]->isReady())
            return stack[i];
    }
    return nullptr;
}

AppProcess* AppManager::home() const
{
    return find(QLatin1String(HOME_SOPID), QLatin1String(HOME_UIAPPID));
}

void AppManager::startHome()
{
    launch(QLatin1String(HOME_SOPID), QLatin1String(HOME_UIAPPID), QStringList(), Done());
}

AppProcess* AppManager::start(const QString& file, const QString& sopid, const QString& uiappid,
                              const QStringList& params)
{
    auto* app = new AppProcess(file, sopid, uiappid, params, windowSize, this);
    if (app->hasEnded()) {
        EventLog::write(QStringLiteral("launch %1 failed: orvana-app does not start").arg(app->name()));
        delete app;
        return nullptr;
    }
    stack.append(app);
    EventLog::write(QStringLiteral("launch %1 pid %2").arg(app->name()).arg(app->pid()));
    connect(app, &AppProcess::becameReady, this, [this, app]() {
        app->setWindowSize(windowSize);
        if (app->sopid() == QLatin1String(HOME_SOPID))
            homeRestarts = 0;
        emit topChanged();
    });
    connect(app, &AppProcess::finished, this, [this, app](int code) { onEnded(app, code); });
    return app;
}

void AppManager::launch(const QString& sopid, const QString& uiappid, const QStringList& params,
                        const Done& doneOnce)
{
    const Done done = once(doneOnce);
    const QString file = packageFile(sopid);
    const Package package = Package::load(file);
    if (!package.isValid() || package.sopid != sopid || !package.app(uiappid)) {
        EventLog::write(QStringLiteral("launch %1/%2 refused: not installed").arg(sopid, uiappid));
        done(false);
        return;
    }
    AppProcess* app = find(sopid, uiappid);
    if (app) {
        raise(app);
        EventLog::write(QStringLiteral("raise %1 pid %2").arg(app->name()).arg(app->pid()));
    } else {
        app = start(file, sopid, uiappid, params);
        if (!app) {
            done(false);
            return;
        }
    }
    if (app->isReady()) {
        done(true);
        return;
    }
    connect(app, &AppProcess::becameReady, this, [done]() { done(true); });
    connect(app, &AppProcess::finished, this, [done]() { done(false); });
    QTimer::singleShot(LAUNCH_WAIT_MS, app, [done]() { done(true); });
}

void AppManager::quit(const QStringList& items, const Done& doneOnce)
{
    const Done done = once(doneOnce);
    bool ok = true;
    QList<AppProcess*> stopping;
    for (const QString& item : items) {
        const int slash = item.indexOf(QLatin1Char('/'));
        const QString sopid = item.left(slash);
        const QString uiappid = item.mid(slash + 1);
        const Package package = Package::load(packageFile(sopid));
        if (slash < 0 || !package.isValid() || !package.app(uiappid)) {
            ok = false;
            continue;
        }
        if (AppProcess* app = find(sopid, uiappid)) {
            EventLog::write(QStringLiteral("quit %1 pid %2").arg(app->name()).arg(app->pid()));
            stopping.append(app);
            app->stop();
        }
    }
    if (stopping.isEmpty()) {
        done(ok);
        return;
    }
    auto left = QSharedPointer<int>::create(stopping.size());
    for (AppProcess* app : stopping) {
        connect(app, &AppProcess::finished, this, [left, done, ok]() {
            if (--*left == 0)
                done(ok);
        });
    }
    QTimer::singleShot(QUIT_WAIT_MS, this, [done, ok]() { done(ok); });
}

void AppManager::onEnded(AppProcess* app, int exitCode)
{
    stack.removeOne(app);
    app->deleteLater();
    EventLog::write(QStringLiteral("ended %1 pid %2 code %3").arg(app->name()).arg(app->pid()).arg(exitCode));
    emit topChanged();
    if (app->sopid() == QLatin1String(HOME_SOPID) && app->uiappid() == QLatin1String(HOME_UIAPPID)
        && !home() && homeRestarts < MAX_HOME_RESTARTS) {
        ++homeRestarts;
        QTimer::singleShot(HOME_RESTART_DELAY_MS, this, [this]() {
            if (!home())
                startHome();
        });
    }
}

void AppManager::raise(AppProcess* app)
{
    if (!stack.contains(app) || stack.last() == app)
        return;
    stack.removeOne(app);
    stack.append(app);
    emit topChanged();
}

void AppManager::lower(AppProcess* app)
{
    if (!stack.contains(app) || stack.first() == app)
        return;
    stack.removeOne(app);
    stack.prepend(app);
    emit topChanged();
}

QList<int> AppManager::processList() const
{
    QList<int> pids;
    for (AppProcess* app : stack) {
        if (!app->hasEnded() && app->pid() > 0)
            pids.append(int(app->pid()));
    }
    return pids;
}

QString AppManager::sopidByPid(int pid) const
{
    for (AppProcess* app : stack) {
        if (app->pid() == pid && !app->hasEnded())
            return app->sopid();
    }
    return QString();
}

void AppManager::resize(const QSize& size)
{
    windowSize = size;
    for (AppProcess* app : stack) {
        if (app->isReady())
            app->setWindowSize(size);
    }
}
