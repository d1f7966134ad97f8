#pragma once

#include <QJsonArray>
#include <QObject>
#include <QString>
#include <QVariantMap>

class DeviceState;
class SystemLog;

// The simulated networks behind ConnMan: a list kept in the state under "networks" (each
// {"name", "type", "security", "strength", "state"}; no "name" for a hidden network) and the
// Wi-Fi power. Wi-Fi networks are visible only while Wi-Fi is powered.
class Networks : public QObject
{
    Q_OBJECT
public:
    Networks(DeviceState* state, SystemLog* log, QObject* parent = nullptr);

    int count() const;
    QString path(int index) const;
    QVariantMap properties(int index) const;
    bool visible(int index) const;

    bool wifiPowered() const;
    // Powering on takes effect after a short delay, as with real hardware.
    void setWifiPowered(bool powered);

    bool connectService(int index);
    bool disconnectService(int index);
    // True while a visible network is connected.
    bool isAvailable() const;

    static QJsonArray defaultNetworks();

private:
    QJsonObject network(int index) const;
    void setNetworkState(int index, const QString& state);
    bool isWifi(int index) const;

    DeviceState* m_state;
    SystemLog* m_log;
    int m_powerDelayMs;
};
