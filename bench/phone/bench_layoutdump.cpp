// Layout dump of a 500-item window against a bare parse of the same document (QXmlStreamReader).
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QXmlStreamReader>

#include <cstdio>

#include "layoutdumper.h"

namespace {

const int ROUNDS = 50;

const char SCENE[] = R"(
import QtQuick 2.12
Rectangle {
    width: 1080; height: 2400
    Column {
        Repeater {
            model: 166
            Rectangle {
                objectName: "row" + index; width: 1080; height: 40; rotation: index % 3
                Text { text: "Row " + index + " <&>" }
                Item { x: 500; width: 20; height: 20 }
            }
        }
    }
}
)";

int count(const QQuickItem* item)
{
    int n = 1;
    for (const QQuickItem* child : item->childItems())
        n += count(child);
    return n;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(SCENE, QUrl(QStringLiteral("file:///bench.qml")));
    QQuickItem* root = qobject_cast<QQuickItem*>(component.create());
    if (!root) {
        std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
        return 1;
    }
    QQuickWindow window;
    window.setFlags(Qt::Window | Qt::FramelessWindowHint);
    window.setGeometry(0, 0, 1080, 2400);
    root->setParentItem(window.contentItem());
    window.show();

    LayoutDumper dumper(QStringLiteral("com.orvana.bench"), QStringLiteral("bench"));
    QString xml;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < ROUNDS; ++i)
        xml = dumper.dump(&window);
    const double dumpMs = timer.nsecsElapsed() / 1e6 / ROUNDS;
    timer.start();
    for (int i = 0; i < ROUNDS; ++i) {
        QXmlStreamReader reader(xml);
        while (!reader.atEnd())
            reader.readNext();
    }
    const double parseMs = timer.nsecsElapsed() / 1e6 / ROUNDS;
    std::printf("layout dump of %d items (%d KB): %.2f ms; bare parse of it: %.2f ms; ratio %.2f\n",
                count(root), int(xml.toUtf8().size() / 1024), dumpMs, parseMs, dumpMs / parseMs);
    delete root;
    return 0;
}
