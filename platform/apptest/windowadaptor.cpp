#include "windowadaptor.h"

#include "apptest.h"

WindowAdaptor::WindowAdaptor(AppTest* parent) : QDBusAbstractAdaptor(parent), app(parent)
{
}

void WindowAdaptor::frame(const QDBusMessage& message)
{
    message.setDelayedReply(true);
    app->requestFrame(message);
}

bool WindowAdaptor::key(int type, int key, int modifiers, const QString& text, bool autorepeat)
{
    return app->deliverKey(type, key, modifiers, text, autorepeat);
}

void WindowAdaptor::touch(const QList<int>& ids, const QList<int>& states, const QList<int>& xs,
                          const QList<int>& ys)
{
    app->deliverTouch(ids, states, xs, ys);
}

bool WindowAdaptor::commitString(const QString& text)
{
    return app->commitText(text);
}

void WindowAdaptor::resize(int width, int height)
{
    app->resizeWindow(width, height);
}
