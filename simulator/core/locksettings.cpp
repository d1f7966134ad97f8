#include "locksettings.h"

#include "devicestate.h"
#include "systemlog.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>

LockSettings::LockSettings(DeviceState* state, SystemLog* log)
    : m_state(state)
    , m_log(log)
{
}

bool LockSettings::setScreenState(int state)
{
    if (state != 0 && state != 1)
        return false;
    m_state->setValue(QStringLiteral("screenState"), state);
    m_log->write(state ? QStringLiteral("screen locked") : QStringLiteral("screen unlocked"));
    return true;
}

int LockSettings::screenState() const
{
    return m_state->value(QStringLiteral("screenState"), 0).toInt();
}

bool LockSettings::passwordExists() const
{
    return !m_state->value(QStringLiteral("passwordHash")).toString().isEmpty();
}

bool LockSettings::fits(const QString& password, int type)
{
    static const QRegularExpression weak(QStringLiteral("^[0-9]{4,16}$"));
    static const QRegularExpression strong(QStringLiteral("^(?=.*[A-Za-z])(?=.*[0-9]).{6,32}$"));
    static const QRegularExpression graphic(QStringLiteral("^[1-9]{4,9}$"));
    switch (type) {
    case Weak:
        return weak.match(password).hasMatch();
    case Strong:
        return strong.match(password).hasMatch();
    case Graphic:
        return graphic.match(password).hasMatch() && QSet<QChar>(password.begin(), password.end()).size() == password.size();
    default:
        return password.isEmpty();
    }
}

QString LockSettings::hash(const QString& password) const
{
    const QString salt = m_state->value(QStringLiteral("passwordSalt")).toString();
    return QString::fromLatin1(QCryptographicHash::hash((salt + password).toUtf8(), QCryptographicHash::Sha256).toHex());
}

int LockSettings::setPassword(const QString& password, int type)
{
    if (type < Weak || type > None)
        return TypeIsInvalid;
    if (type != None && password.isEmpty())
        return PasswordIsEmpty;
    if (!fits(password, type))
        return TypeMismatch;
    if (type == None) {
        m_state->setValue(QStringLiteral("passwordHash"), QString());
        m_state->setValue(QStringLiteral("passwordType"), None);
        m_log->write(QStringLiteral("lock password removed"));
        return Ok;
    }
    if (passwordExists() && hash(password) == m_state->value(QStringLiteral("passwordHash")).toString())
        return PasswordEqual;
    m_state->setValue(QStringLiteral("passwordSalt"), QString::number(QRandomGenerator::global()->generate64(), 16));
    m_state->setValue(QStringLiteral("passwordHash"), hash(password));
    m_state->setValue(QStringLiteral("passwordType"), type);
    m_log->write(QStringLiteral("lock password set"));
    return Ok;
}
