#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QList>

class AppTest;

// "com.orvana.apptest.Window": what the simulated compositor does to the window.
class WindowAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvana.apptest.Window")
public:
    explicit WindowAdaptor(AppTest* parent);

public slots:
    // Replies (s path, i width, i height, i bytes per line) of the frame file.
    void frame(const QDBusMessage& message);
    bool key(int type, int key, int modifiers, const QString& text, bool autorepeat);
    void touch(const QList<int>& ids, const QList<int>& states, const QList<int>& xs,
               const QList<int>& ys);
    bool commitString(const QString& text);
    void resize(int width, int height);

private:
    AppTest* app;
};
