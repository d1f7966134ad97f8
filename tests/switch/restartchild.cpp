#include "restartchild.h"

#include "switchpage.h"
#include "zelvik_support_workspace.h"

#include <applicationbootstrap.h>
#include <orvanaguicache.h>

#include <QCoreApplication>
#include <QQmlEngine>
#include <QQuickView>
#include <QTimer>

namespace {
const char childVariable[] = "SWITCH_TEST_RESTART_CHILD";
// Exit codes of a child that did not get as far as the button.
enum { NoFrame = 4, ButtonStillDisabled = 5, NotEnded = 3 };
} // namespace

bool RestartChild::isChild()
{
    return qEnvironmentVariableIsSet(childVariable);
}

int RestartChild::run(int argc, char* argv[])
{
    ORVANA::ApplicationBootstrap::ensure();
    QQuickView* view = ORVANA::OrvanaGuiCache::qQuickView();
    view->engine()->addImportPath(QStringLiteral(ZELVIK_QML_DIR));
    zelvik_support_Workspace workspace;
    SwitchPage page(view);
    QTimer::singleShot(0, [&page] {
        if (!page.waitForFrame()) {
            QCoreApplication::exit(NoFrame);
            return;
        }
        page.tapSwitch();
        if (!page.buttonEnabled()) {
            QCoreApplication::exit(ButtonStillDisabled);
            return;
        }
        page.tapButton();
    });
    QTimer::singleShot(15000, [] { QCoreApplication::exit(NotEnded); });
    return ORVANA::OrvanaGuiCache::qApplication(argc, argv, &workspace);
}

bool RestartChild::start(QProcess& child)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(childVariable, QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    return child.waitForFinished(30000);
}
