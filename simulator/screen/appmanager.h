#pragma once

#include <QList>
#include <QObject>
#include <QSize>
#include <QStringList>

#include <functional>

class AppProcess;

// The running applications, bottom to top. The home screen is always running: it is started
// first and again whenever it ends.
class AppManager : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(bool ok)>;

    static const char HOME_SOPID[];

    explicit AppManager(QObject* parent = nullptr);

    void startHome();
    // Starts the application or raises it; `done` runs once it shows (false: unknown package
    // or application, or it ended before showing).
    void launch(const QString& sopid, const QString& uiappid, const QStringList& params,
                const Done& done);
    // Ends the listed "sopid/uiappid" applications; `done` once they have ended (false when an
    // item names no installed application).
    void quit(const QStringList& items, const Done& done);

    // The topmost application that shows a window, or null.
    AppProcess* top() const;
    AppProcess* home() const;
    void raise(AppProcess* app);
    // Puts the application under every other one.
    void lower(AppProcess* app);
    QList<int> processList() const;
    QString sopidByPid(int pid) const;

    QSize size() const { return windowSize; }
    void resize(const QSize& size);

signals:
    void topChanged();

private:
    // Installed package file; the home package falls back to the built-in one.
    QString packageFile(const QString& sopid) const;
    AppProcess* find(const QString& sopid, const QString& uiappid) const;
    AppProcess* start(const QString& file, const QString& sopid, const QString& uiappid,
                      const QStringList& params);
    void onEnded(AppProcess* app, int exitCode);

    QList<AppProcess*> stack;
    QSize windowSize;
    int homeRestarts = 0;
};
