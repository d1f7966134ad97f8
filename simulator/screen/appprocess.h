#pragma once

#include <QDBusMessage>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QStringList>

#include <functional>

#include "mappedframe.h"

class ChildProcess;
class QDBusServiceWatcher;

// One running application: its orvana-app process and its window interface on the session bus.
class AppProcess : public QObject
{
    Q_OBJECT
public:
    using Answer = std::function<void(const QDBusMessage& reply)>;
    using FrameReady = std::function<void(const QImage& frame)>;

    AppProcess(const QString& packageFile, const QString& sopid, const QString& uiappid,
               const QStringList& params, const QSize& size, QObject* parent = nullptr);
    ~AppProcess() override;

    QString sopid() const { return ownSopid; }
    QString uiappid() const { return ownUiappid; }
    QString name() const { return ownSopid + QLatin1Char('/') + ownUiappid; }
    qint64 pid() const { return processId; }
    // Started, its test interface on the bus, not ended.
    bool isReady() const { return ready && !ended; }
    bool hasEnded() const { return ended; }

    // Asks the window interface; `answer` gets the reply (an error message when it fails).
    void call(const QString& method, const QVariantList& args, const Answer& answer = Answer());
    // The current frame, mapped; callers that ask while a frame is on its way share it.
    void frame(const FrameReady& ready);
    // Ends the process: politely, then by force.
    void stop();
    // The window takes this size (now, or once it shows).
    void setWindowSize(const QSize& size);

signals:
    void becameReady();
    void finished(int exitCode);

private:
    void onFinished(int exitCode);

    ChildProcess* process;
    QDBusServiceWatcher* watcher;
    QString ownSopid;
    QString ownUiappid;
    qint64 processId = 0;
    bool ready = false;
    bool ended = false;
    QSize windowSize;
    MappedFrame mapped;
    QList<FrameReady> frameWaiters;
};
