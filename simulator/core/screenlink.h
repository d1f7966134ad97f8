#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QVariant>

#include <functional>

class QDBusServiceWatcher;

// The road to orvana-screen ("com.orvana.sim.Screen"). Every call is asynchronous, so the
// simulator's event loop never waits for the screen; an absent screen fails at once.
class ScreenLink : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const QDBusMessage& reply)>;

    explicit ScreenLink(const QDBusConnection& bus, QObject* parent = nullptr);

    // Calls `method` and hands its reply (an error message on failure) to `done`.
    void ask(const QString& method, const QVariantList& args, const Done& done);
    // Answers `request` with the screen's reply to `method`, or with `empty` (nothing when it is
    // invalid) when the screen fails or answers with another type.
    void forward(const QDBusMessage& request, const QString& method, const QVariantList& args,
                 const QVariant& empty = QVariant());
    // Calls `method` without waiting for an answer.
    void send(const QString& method, const QVariantList& args = QVariantList());

signals:
    // orvana-screen has come on the bus.
    void appeared();

private:
    QDBusMessage message(const QString& method, const QVariantList& args) const;

    QDBusConnection m_bus;
    QDBusServiceWatcher* m_watcher;
};
