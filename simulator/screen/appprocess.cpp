#include "appprocess.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QTimer>

#include "childprocess.h"

namespace {

const char WINDOW_INTERFACE[] = "com.orvana.apptest.Window";
// Below orvana-sim's own time-out for forwarded calls, so its callers always hear back.
const int CALL_TIMEOUT_MS = 4000;
// How long a stopped application may take before it is killed.
const int STOP_GRACE_MS = 1500;

QString frameFile(qint64 pid)
{
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return dir + QStringLiteral("/orvana-frame-") + QString::number(pid);
}

} // namespace

AppProcess::AppProcess(const QString& packageFile, const QString& sopid, const QString& uiappid,
                       const QStringList& params, const QSize& size, QObject* parent)
    : QObject(parent), process(new ChildProcess(this)), watcher(nullptr), ownSopid(sopid),
      ownUiappid(uiappid), windowSize(size)
{
    QStringList args{QStringLiteral("--package"), packageFile, QStringLiteral("--uiappid"), uiappid,
                     QStringLiteral("--size"),
                     QStringLiteral("%1x%2").arg(size.width()).arg(size.height())};
    for (const QString& param : params)
        args << QStringLiteral("--param") << param;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this](int code, QProcess::ExitStatus) { onFinished(code); });
    connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            onFinished(-1);
    });
    process->start(QCoreApplication::applicationDirPath() + QStringLiteral("/orvana-app"), args);
    processId = process->processId();
    if (processId <= 0)
        return;
    watcher = new QDBusServiceWatcher(QStringLiteral("com.orvana.p") + QString::number(processId),
                                      QDBusConnection::sessionBus(),
                                      QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, [this]() {
        if (ready || ended)
            return;
        ready = true;
        emit becameReady();
    });
    // The application may have registered before the watcher was in place.
    if (QDBusConnection::sessionBus().interface()->isServiceRegistered(watcher->watchedServices().first()))
        QTimer::singleShot(0, this, [this]() {
            if (!ready && !ended) {
                ready = true;
                emit becameReady();
            }
        });
}

AppProcess::~AppProcess()
{
    if (!ended) {
        process->kill();
        process->waitForFinished(1000);
    }
    if (processId > 0)
        QFile::remove(frameFile(processId));
}

void AppProcess::onFinished(int exitCode)
{
    if (ended)
        return;
    ended = true;
    ready = false;
    if (processId > 0)
        QFile::remove(frameFile(processId));
    const QList<FrameReady> waiters = frameWaiters;
    frameWaiters.clear();
    for (const FrameReady& waiter : waiters)
        waiter(QImage());
    emit finished(exitCode);
}

void AppProcess::call(const QString& method, const QVariantList& args, const Answer& answer)
{
    if (!isReady()) {
        if (answer)
            answer(QDBusMessage::createError(QDBusError::ServiceUnknown, QStringLiteral("not running")));
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("com.orvana.p") + QString::number(processId),
        QStringLiteral("/com/orvana/p") + QString::number(processId),
        QLatin1String(WINDOW_INTERFACE), method);
    message.setArguments(args);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!answer) {
        bus.send(message);
        return;
    }
    auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(message, CALL_TIMEOUT_MS), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [pending, answer]() {
        answer(pending->reply());
        pending->deleteLater();
    });
}

void AppProcess::frame(const FrameReady& ready)
{
    frameWaiters.append(ready);
    if (frameWaiters.size() > 1)
        return;
    call(QStringLiteral("frame"), {}, [this](const QDBusMessage& reply) {
        const QVariantList a = reply.arguments();
        QImage image;
        // Only the application's own frame file is ever mapped.
        if (reply.type() == QDBusMessage::ReplyMessage && a.size() == 4
            && a[0].toString() == frameFile(processId))
            image = mapped.image(a[0].toString(), a[1].toInt(), a[2].toInt(), a[3].toInt());
        const QList<FrameReady> waiters = frameWaiters;
        frameWaiters.clear();
        for (const FrameReady& waiter : waiters)
            waiter(image);
    });
}

void AppProcess::setWindowSize(const QSize& size)
{
    if (size == windowSize)
        return;
    windowSize = size;
    call(QStringLiteral("resize"), {size.width(), size.height()});
}

void AppProcess::stop()
{
    if (ended)
        return;
    process->terminate();
    QTimer::singleShot(STOP_GRACE_MS, process, [this]() {
        if (!ended)
            process->kill();
    });
}
