#pragma once

#include <QDBusAbstractAdaptor>

class AppTest;

// "com.orvana.uitest.Interface": the layout document of the application's window.
class UiTestAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvana.uitest.Interface")
public:
    explicit UiTestAdaptor(AppTest* parent);

public slots:
    QString genareteLayoutInfo();

private:
    AppTest* app;
};
