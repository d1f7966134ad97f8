#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// Reads items out of a layout dump, by object name.
class LayoutDocument
{
public:
    explicit LayoutDocument(const QByteArray& xml);

    bool isWellFormed() const { return wellFormed; }
    QString rootAttribute(const QString& name) const { return root.value(name); }
    bool hasItem(const QString& objectName) const { return items.contains(objectName); }
    QString attribute(const QString& objectName, const QString& name) const;
    int itemCount() const { return count; }

private:
    bool wellFormed = false;
    int count = 0;
    QMap<QString, QString> root;
    QMap<QString, QMap<QString, QString>> items;
};
