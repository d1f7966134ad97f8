#include "zelvik_support_workspace.h"

#include "switchdbus.h"

#include <cguiapplication.h>
#include <orvanaguicache.h>

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickView>

zelvik_support_Workspace::zelvik_support_Workspace()
{
    // The agent decides itself, from the compositor's switch, whether it stays.
    ORVANA::CGuiApplication::runService(QStringLiteral("zelvik_support_server"), QStringList(QString()));

    m_view = ORVANA::OrvanaGuiCache::qQuickView();
    sd = new SwitchDBus;

    QQmlEngine* engine = m_view->engine();
    connect(engine, &QQmlEngine::quit, qApp, &QCoreApplication::quit);
    // QML modules built beside the program (<prefix>/bin and <prefix>/qml).
    engine->addImportPath(QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../qml")));
    m_view->rootContext()->setContextProperty(QStringLiteral("sd"), sd);
    m_view->setSource(QUrl(QStringLiteral("qrc:/qml/main.qml")));
    m_view->showFullScreen();
}

void zelvik_support_Workspace::onLaunchComplete(Option option, const QStringList&)
{
    if (option == LaunchFromHome)
        qDebug() << "Start by Home";
}
