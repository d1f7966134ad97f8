#include "devicestate.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>

DeviceState::DeviceState(const QString& path)
    : m_path(path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    load();
}

QJsonValue DeviceState::value(const QString& key, const QJsonValue& fallback) const
{
    const QJsonValue v = m_data.value(key);
    return v.isUndefined() ? fallback : v;
}

void DeviceState::setValue(const QString& key, const QJsonValue& value)
{
    if (m_data.value(key) == value)
        return;
    m_data.insert(key, value);
    save();
}

QJsonValue DeviceState::entry(const QString& key, const QString& name, const QJsonValue& fallback) const
{
    const QJsonValue v = m_data.value(key).toObject().value(name);
    return v.isUndefined() ? fallback : v;
}

void DeviceState::setEntry(const QString& key, const QString& name, const QJsonValue& value)
{
    QJsonObject object = m_data.value(key).toObject();
    object.insert(name, value);
    setValue(key, object);
}

void DeviceState::load()
{
    QFile file(m_path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("orvana-sim: cannot read %s", qPrintable(m_path));
        return;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        // Keep the damaged file for a look, and start from the defaults.
        qWarning("orvana-sim: state file %s is damaged (%s), starting afresh", qPrintable(m_path),
                 qPrintable(error.errorString()));
        file.close();
        QFile::remove(m_path + QStringLiteral(".bad"));
        QFile::rename(m_path, m_path + QStringLiteral(".bad"));
        return;
    }
    m_data = document.object();
}

void DeviceState::save() const
{
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(m_data).toJson()) < 0 || !file.commit())
        qWarning("orvana-sim: cannot write the state file %s", qPrintable(m_path));
}
