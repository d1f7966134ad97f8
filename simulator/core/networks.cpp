#include "networks.h"

#include "devicestate.h"
#include "systemlog.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <QTimer>

namespace {
const char* const kNetworks = "networks";
const char* const kWifiPowered = "wifiPowered";
const char* const kOnline = "online";
const char* const kIdle = "idle";

QJsonObject net(const char* name, const char* type, const char* security, int strength)
{
    QJsonObject n{{QStringLiteral("type"), QLatin1String(type)},
                  {QStringLiteral("security"), QLatin1String(security)},
                  {QStringLiteral("strength"), strength},
                  {QStringLiteral("state"), QLatin1String(kIdle)}};
    if (name)
        n.insert(QStringLiteral("name"), QString::fromUtf8(name));
    return n;
}
}

Networks::Networks(DeviceState* state, SystemLog* log, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_log(log)
{
    bool ok = false;
    m_powerDelayMs = qEnvironmentVariableIntValue("ORVANA_SIM_WIFI_POWER_DELAY_MS", &ok);
    if (!ok || m_powerDelayMs < 0)
        m_powerDelayMs = 300;
    if (!m_state->value(QLatin1String(kNetworks)).isArray())
        m_state->setValue(QLatin1String(kNetworks), defaultNetworks());
}

QJsonArray Networks::defaultNetworks()
{
    return {net("Wired", "ethernet", "none", 100), net("Orvana-Open", "wifi", "none", 90),
            net("Orvana-Guest", "wifi", "none", 70), net("Orvana-Guest", "wifi", "none", 40),
            net("Orvana-Secure", "wifi", "psk", 60), net(nullptr, "wifi", "none", 30)};
}

QJsonObject Networks::network(int index) const
{
    return m_state->value(QLatin1String(kNetworks)).toArray().at(index).toObject();
}

int Networks::count() const
{
    return m_state->value(QLatin1String(kNetworks)).toArray().size();
}

bool Networks::isWifi(int index) const
{
    return network(index).value(QStringLiteral("type")).toString() == QLatin1String("wifi");
}

QString Networks::path(int index) const
{
    const QJsonObject n = network(index);
    const QString type = n.value(QStringLiteral("type")).toString(QStringLiteral("wifi"));
    // Object path elements allow only [A-Za-z0-9_]: names go in as hex.
    QString id = QString::fromLatin1(n.value(QStringLiteral("name")).toString().toUtf8().toHex());
    if (id.isEmpty())
        id = QStringLiteral("hidden");
    QString kind = type;
    kind.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")));
    return QStringLiteral("/net/connman/service/%1_sim%2_%3").arg(kind.isEmpty() ? QStringLiteral("unknown") : kind)
        .arg(index)
        .arg(id);
}

QVariantMap Networks::properties(int index) const
{
    const QJsonObject n = network(index);
    QVariantMap p;
    if (n.contains(QStringLiteral("name")))
        p.insert(QStringLiteral("Name"), n.value(QStringLiteral("name")).toString());
    p.insert(QStringLiteral("Type"), n.value(QStringLiteral("type")).toString());
    p.insert(QStringLiteral("State"), n.value(QStringLiteral("state")).toString(QLatin1String(kIdle)));
    p.insert(QStringLiteral("Security"), QStringList{n.value(QStringLiteral("security")).toString(QStringLiteral("none"))});
    p.insert(QStringLiteral("Strength"), QVariant::fromValue(uchar(n.value(QStringLiteral("strength")).toInt())));
    return p;
}

bool Networks::visible(int index) const
{
    return index >= 0 && index < count() && (!isWifi(index) || wifiPowered());
}

bool Networks::wifiPowered() const
{
    return m_state->value(QLatin1String(kWifiPowered), false).toBool();
}

void Networks::setWifiPowered(bool powered)
{
    if (!powered) {
        m_state->setValue(QLatin1String(kWifiPowered), false);
        for (int i = 0; i < count(); ++i) {
            if (isWifi(i))
                setNetworkState(i, QLatin1String(kIdle));
        }
        m_log->write(QStringLiteral("wifi powered off"));
        return;
    }
    QTimer::singleShot(m_powerDelayMs, this, [this]() {
        if (!wifiPowered()) {
            m_state->setValue(QLatin1String(kWifiPowered), true);
            m_log->write(QStringLiteral("wifi powered on"));
        }
    });
}

void Networks::setNetworkState(int index, const QString& state)
{
    QJsonArray list = m_state->value(QLatin1String(kNetworks)).toArray();
    QJsonObject n = list.at(index).toObject();
    n.insert(QStringLiteral("state"), state);
    list.replace(index, n);
    m_state->setValue(QLatin1String(kNetworks), list);
}

bool Networks::connectService(int index)
{
    if (!visible(index))
        return false;
    // One connection per technology.
    const QString type = network(index).value(QStringLiteral("type")).toString();
    for (int i = 0; i < count(); ++i) {
        if (i != index && network(i).value(QStringLiteral("type")).toString() == type)
            setNetworkState(i, QLatin1String(kIdle));
    }
    setNetworkState(index, QLatin1String(kOnline));
    m_log->write(QStringLiteral("network \"%1\" (%2) connected")
                     .arg(network(index).value(QStringLiteral("name")).toString(), type));
    return true;
}

bool Networks::disconnectService(int index)
{
    if (index < 0 || index >= count())
        return false;
    setNetworkState(index, QLatin1String(kIdle));
    m_log->write(QStringLiteral("network \"%1\" disconnected").arg(network(index).value(QStringLiteral("name")).toString()));
    return true;
}

bool Networks::isAvailable() const
{
    for (int i = 0; i < count(); ++i) {
        if (visible(i) && network(i).value(QStringLiteral("state")).toString() == QLatin1String(kOnline))
            return true;
    }
    return false;
}
