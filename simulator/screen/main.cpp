// orvana-screen: the screen, input and applications of the simulated phone.
#include <QDBusConnection>
#include <QDBusError>
#include <QGuiApplication>
#include <QTimer>

#include "appprocess.h"
#include "screen.h"
#include "screenadaptor.h"

namespace {

// The service comes on the bus once the home screen shows, so whoever waits for it finds a
// screen to look at; a home screen that cannot start does not keep the service away.
const int HOME_WAIT_MS = 8000;

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    Screen screen(Screen::sizeFromEnvironment());
    new ScreenAdaptor(&screen);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.registerObject(QStringLiteral("/screen"), &screen)) {
        qCritical("orvana-screen: no system bus: %s", qPrintable(bus.lastError().message()));
        return 1;
    }
    bool registered = false;
    auto registerService = [&]() {
        if (registered)
            return;
        registered = true;
        if (!bus.registerService(QStringLiteral("com.orvana.sim.Screen"))) {
            qCritical("orvana-screen: cannot own com.orvana.sim.Screen: %s",
                      qPrintable(bus.lastError().message()));
            QCoreApplication::exit(1);
        }
    };
    QObject::connect(&screen.applications(), &AppManager::topChanged, &app, [&]() {
        if (screen.applications().top())
            registerService();
    });
    QTimer::singleShot(HOME_WAIT_MS, &app, registerService);
    screen.applications().startHome();
    return app.exec();
}
