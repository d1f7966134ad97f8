#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// The device's persistent state: one JSON object, saved atomically after every change.
class DeviceState
{
public:
    explicit DeviceState(const QString& path);

    QJsonValue value(const QString& key, const QJsonValue& fallback = QJsonValue()) const;
    void setValue(const QString& key, const QJsonValue& value);

    // A value inside the object stored under `key`.
    QJsonValue entry(const QString& key, const QString& name, const QJsonValue& fallback = QJsonValue()) const;
    void setEntry(const QString& key, const QString& name, const QJsonValue& value);

private:
    void load();
    void save() const;

    QString m_path;
    QJsonObject m_data;
};
