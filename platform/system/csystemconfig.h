#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

// Configuration store addressed by domain, group and key.
class CSystemConfig : public QObject
{
    Q_OBJECT
public:
    explicit CSystemConfig(QObject* parent = nullptr);

    QVariant value(const QString& domain, const QString& group, const QString& key) const;
    bool setValue(const QString& domain, const QString& group, const QString& key, const QVariant& value);
};
