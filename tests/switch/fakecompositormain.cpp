// Owns "com.orvana.compositor" on the system bus with the switch interface only.
//   switch_fake_compositor on|off
#include "fakecompositor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <cstdio>
#include <csignal>
#include <sys/prctl.h>

int main(int argc, char* argv[])
{
    // Ends with the test that started it, even when that test crashed.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    QCoreApplication app(argc, argv);
    const bool on = app.arguments().value(1) == QLatin1String("on");

    QObject root;
    new FakeCompositor(&root, on);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.registerObject(QStringLiteral("/com/orvana/compositor"), &root)
        || !bus.registerService(QStringLiteral("com.orvana.compositor"))) {
        std::fprintf(stderr, "fake compositor: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}
