#include "uitestadaptor.h"

#include "apptest.h"

UiTestAdaptor::UiTestAdaptor(AppTest* parent) : QDBusAbstractAdaptor(parent), app(parent)
{
}

QString UiTestAdaptor::genareteLayoutInfo()
{
    return app->layout();
}
