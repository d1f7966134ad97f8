#include "layoutdumper.h"

#include <QDateTime>
#include <QQuickItem>
#include <QQuickWindow>
#include <QXmlStreamWriter>

namespace {

// Marker in the class names Qt generates for types declared in QML.
const char QML_SUFFIX[] = "_QML";

QString number(qreal value)
{
    // Most geometry is whole pixels; integer formatting is several times faster than 'g'.
    if (value == qreal(qint64(value)) && qAbs(value) < 1e15)
        return QString::number(qint64(value));
    return QString::number(value, 'g', 12);
}

QString flag(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

bool allowedInXml(ushort c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xFFFD);
}

// Drops what XML 1.0 cannot carry at all (control characters, lone surrogates); the writer
// escapes the rest. Most texts are clean and are returned as they are.
QString xmlSafe(const QString& text)
{
    const int n = text.size();
    const QChar* s = text.constData();
    auto validAt = [&](int i) {
        const QChar c = s[i];
        if (c.isHighSurrogate())
            return i + 1 < n && s[i + 1].isLowSurrogate();
        if (c.isLowSurrogate())
            return i > 0 && s[i - 1].isHighSurrogate();
        return allowedInXml(c.unicode());
    };
    int i = 0;
    while (i < n && validAt(i))
        ++i;
    if (i == n)
        return text;
    QString out = text.left(i);
    for (; i < n; ++i) {
        if (validAt(i))
            out.append(s[i]);
    }
    return out;
}

} // namespace

LayoutDumper::LayoutDumper(const QString& sopId, const QString& uiAppId)
    : sopId(sopId), uiAppId(uiAppId)
{
}

const char* LayoutDumper::className(const QObject* object)
{
    const QMetaObject* meta = object->metaObject();
    while (meta->superClass() && strstr(meta->className(), QML_SUFFIX))
        meta = meta->superClass();
    return meta->className();
}

QString LayoutDumper::dump(const QQuickWindow* window)
{
    nextId = 0;
    QString out;
    out.reserve(64 * 1024);
    out += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    QXmlStreamWriter xml(&out);
    xml.writeStartElement(QStringLiteral("root"));
    xml.writeAttribute(QStringLiteral("createTime"),
                       QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")));
    xml.writeAttribute(QStringLiteral("sopId"), xmlSafe(sopId));
    xml.writeAttribute(QStringLiteral("uiAppId"), xmlSafe(uiAppId));
    if (window) {
        xml.writeStartElement(QString::fromLatin1(className(window)));
        xml.writeAttribute(QStringLiteral("width"), QString::number(window->width()));
        xml.writeAttribute(QStringLiteral("height"), QString::number(window->height()));
        xml.writeAttribute(QStringLiteral("x"), QString::number(window->x()));
        xml.writeAttribute(QStringLiteral("y"), QString::number(window->y()));
        xml.writeAttribute(QStringLiteral("visible"), flag(window->isVisible()));
        xml.writeAttribute(QStringLiteral("objectName"), xmlSafe(window->objectName()));
        xml.writeAttribute(QStringLiteral("title"), xmlSafe(window->title()));
        writeItem(xml, window->contentItem(), true);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    return out;
}

void LayoutDumper::writeItem(QXmlStreamWriter& xml, const QQuickItem* item, bool isContentItem)
{
    const QMetaObject* meta = item->metaObject();
    const char* cls = className(item);
    xml.writeStartElement(QString::fromLatin1(cls));

    const QPointF centre(item->width() / 2, item->height() / 2);
    const QPointF global = item->mapToScene(centre);
    const QPointF local = item->parentItem() ? item->mapToItem(item->parentItem(), centre)
                                             : global;
    xml.writeAttribute(QStringLiteral("width"), number(item->width()));
    xml.writeAttribute(QStringLiteral("height"), number(item->height()));
    xml.writeAttribute(QStringLiteral("x"), number(item->x()));
    xml.writeAttribute(QStringLiteral("y"), number(item->y()));
    xml.writeAttribute(QStringLiteral("z"), number(item->z()));
    xml.writeAttribute(QStringLiteral("centerXToGlobal"), number(global.x()));
    xml.writeAttribute(QStringLiteral("centerYToGlobal"), number(global.y()));
    xml.writeAttribute(QStringLiteral("centerXToItem"), number(local.x()));
    xml.writeAttribute(QStringLiteral("centerYToItem"), number(local.y()));
    xml.writeAttribute(QStringLiteral("visible"), flag(item->isVisible()));
    xml.writeAttribute(QStringLiteral("clip"), flag(item->clip()));
    xml.writeAttribute(QStringLiteral("enabled"), flag(item->isEnabled()));
    xml.writeAttribute(QStringLiteral("focus"), flag(item->hasFocus()));
    xml.writeAttribute(QStringLiteral("activeFocus"), flag(item->hasActiveFocus()));
    xml.writeAttribute(QStringLiteral("opacity"), number(item->opacity()));
    xml.writeAttribute(QStringLiteral("scale"), number(item->scale()));
    xml.writeAttribute(QStringLiteral("rotation"), number(item->rotation()));
    if (!isContentItem)
        xml.writeAttribute(QStringLiteral("tempID"), QStringLiteral("temp") + QString::number(nextId++));
    xml.writeAttribute(QStringLiteral("hasContents"),
                       flag(item->flags() & QQuickItem::ItemHasContents));
    xml.writeAttribute(QStringLiteral("objectName"), xmlSafe(item->objectName()));
    const int textIndex = meta->indexOfProperty("text");
    if (textIndex >= 0) {
        const QVariant text = meta->property(textIndex).read(item);
        if (text.canConvert<QString>())
            xml.writeAttribute(QStringLiteral("text"), xmlSafe(text.toString()));
    }
    if (meta->className() != cls) {
        QString qmlType = QString::fromLatin1(meta->className());
        const int cut = qmlType.indexOf(QLatin1String(QML_SUFFIX));
        if (cut > 0 && !qmlType.startsWith(QLatin1String(cls)))
            xml.writeAttribute(QStringLiteral("qmlType"), qmlType.left(cut));
    }
    for (const QQuickItem* child : item->childItems())
        writeItem(xml, child, false);
    xml.writeEndElement();
}
