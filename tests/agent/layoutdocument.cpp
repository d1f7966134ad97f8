#include "layoutdocument.h"

#include <QXmlStreamReader>

LayoutDocument::LayoutDocument(const QByteArray& xml)
{
    QXmlStreamReader reader(xml);
    int depth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            QMap<QString, QString> attributes;
            for (const QXmlStreamAttribute& attribute : reader.attributes())
                attributes.insert(attribute.name().toString(), attribute.value().toString());
            if (depth == 0)
                root = attributes;
            else if (depth >= 3)
                ++count;
            const QString name = attributes.value(QStringLiteral("objectName"));
            if (depth >= 3 && !name.isEmpty())
                items.insert(name, attributes);
            ++depth;
        } else if (reader.isEndElement()) {
            --depth;
        }
    }
    wellFormed = !reader.hasError();
}

QString LayoutDocument::attribute(const QString& objectName, const QString& name) const
{
    return items.value(objectName).value(name);
}
