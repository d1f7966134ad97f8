#include "orvanaguicache.h"

#include "applicationbootstrap.h"
#include "launchrunner.h"

#include <QGuiApplication>
#include <QQuickView>

namespace ORVANA {

namespace {
QCoreApplication* makeGuiApplication(int& argc, char** argv)
{
    return new QGuiApplication(argc, argv);
}

// Loading this library means the program is a GUI program.
struct GuiFactoryRegistration {
    GuiFactoryRegistration() { ApplicationBootstrap::setFactory(makeGuiApplication); }
} registration;
} // namespace

int OrvanaGuiCache::qApplication(int& argc, char** argv, CWorkspace* workspace)
{
    ApplicationBootstrap::setCommandLine(argc, argv);
    return LaunchRunner::run(workspace);
}

QQuickView* OrvanaGuiCache::qQuickView()
{
    ApplicationBootstrap::ensure();
    // Full screen: the root item follows the window, whatever size the screen gives it.
    static QQuickView* view = [] {
        QQuickView* v = new QQuickView;
        v->setResizeMode(QQuickView::SizeRootObjectToView);
        return v;
    }();
    return view;
}

} // namespace ORVANA
