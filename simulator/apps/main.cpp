// orvana-app: runs one application of an installed package in a frameless offscreen window
// and gives it the test interface of the phone.
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

#include "appbridge.h"
#include "apptest.h"
#include "package.h"

namespace {

const QSize DEFAULT_SIZE(720, 1280);

QSize parseSize(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    bool okW = false;
    bool okH = false;
    const QSize size = parts.size() == 2 ? QSize(parts[0].toInt(&okW), parts[1].toInt(&okH)) : QSize();
    if (!okW || !okH || size.width() <= 0 || size.height() <= 0 || size.width() > 8192
        || size.height() > 8192)
        return QSize();
    return size;
}

// A QML Window root is used as it is; an Item root gets a window and follows its size.
QQuickWindow* windowFor(QObject* root)
{
    if (auto* window = qobject_cast<QQuickWindow*>(root))
        return window;
    auto* item = qobject_cast<QQuickItem*>(root);
    if (!item)
        return nullptr;
    auto* window = new QQuickWindow;
    item->setParentItem(window->contentItem());
    auto follow = [window, item]() { item->setSize(QSizeF(window->width(), window->height())); };
    QObject::connect(window, &QWindow::widthChanged, item, follow);
    QObject::connect(window, &QWindow::heightChanged, item, follow);
    return window;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption packageOption(QStringLiteral("package"), QStringLiteral("Package file."),
                                           QStringLiteral("file"));
    const QCommandLineOption appOption(QStringLiteral("uiappid"), QStringLiteral("Application id."),
                                       QStringLiteral("id"));
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("Window size WxH."),
                                        QStringLiteral("size"), QStringLiteral("720x1280"));
    const QCommandLineOption paramOption(QStringLiteral("param"), QStringLiteral("Launch parameter."),
                                         QStringLiteral("text"));
    parser.addOptions({packageOption, appOption, sizeOption, paramOption});
    parser.process(app);

    const Package package = Package::load(parser.value(packageOption));
    const Package::App* entry = package.app(parser.value(appOption));
    if (!entry) {
        qCritical("orvana-app: no application %s in package %s", qPrintable(parser.value(appOption)),
                  qPrintable(parser.value(packageOption)));
        return 2;
    }
    QSize size = parseSize(parser.value(sizeOption));
    if (size.isEmpty())
        size = DEFAULT_SIZE;

    QQmlEngine engine;
    AppBridge bridge(package.sopid, entry->uiappid, parser.values(paramOption));
    engine.rootContext()->setContextProperty(QStringLiteral("orvana"), &bridge);
    QQmlComponent component(&engine);
    component.setData(entry->qml.toUtf8(),
                      QUrl::fromLocalFile(package.file + QLatin1Char('/') + entry->uiappid + QStringLiteral(".qml")));
    QObject* root = component.create();
    QQuickWindow* window = root ? windowFor(root) : nullptr;
    if (!window) {
        qCritical("orvana-app: %s/%s does not load: %s", qPrintable(package.sopid),
                  qPrintable(entry->uiappid), qPrintable(component.errorString()));
        return 3;
    }
    window->setFlags(Qt::Window | Qt::FramelessWindowHint);
    window->setTitle(entry->name);
    window->setGeometry(QRect(QPoint(0, 0), size));
    AppTest test(window, package.sopid, entry->uiappid);
    window->show();
    if (auto* item = qobject_cast<QQuickItem*>(root))
        item->setSize(QSizeF(size));
    return app.exec();
}
