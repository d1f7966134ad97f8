#pragma once

#include <QString>

class QObject;
class QQuickItem;
class QQuickWindow;
class QXmlStreamWriter;

// Writes the item tree of a window as the layout document: root, the window, its content item,
// then one element per item named by its C++ class.
class LayoutDumper
{
public:
    LayoutDumper(const QString& sopId, const QString& uiAppId);

    QString dump(const QQuickWindow* window);

    // First C++ class up the meta-object chain (QML-declared types have generated names).
    static const char* className(const QObject* object);

private:
    void writeItem(QXmlStreamWriter& xml, const QQuickItem* item, bool isContentItem);

    QString sopId;
    QString uiAppId;
    int nextId = 0;
};
