#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QList>
#include <QString>
#include <QVariantList>

struct SimContext;

// "com.orvana.sim.System": the service behind the platform's system classes (platform/system).
class SystemAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvana.sim.System")
public:
    SystemAdaptor(const SimContext& context, QObject* parent);

public slots:
    // Power and lock screen
    bool setDisplayState(int state);
    int displayState();
    bool setScreenState(int state);
    int screenState();
    bool passwordExists();
    int setPassword(const QString& password, int type);

    // Device facts
    QString osVersion();
    QString uniqueDeviceId();

    // Display settings
    int blankTimeout();
    bool setBlankTimeout(int seconds);
    int dimTimeout();
    bool setDimTimeout(int seconds);
    bool ambientLightSensorEnabled();
    bool setAmbientLightSensorEnabled(bool enabled);

    // Clock: the simulated clock runs at an offset from the machine's, which it never changes.
    bool setTime(qlonglong msecsSinceEpoch);
    qlonglong time();
    int autoSystemTime();
    bool setAutoSystemTime(int status);

    // Configuration store: the value in a list of one, an empty list when nothing is stored.
    QVariantList configValue(const QString& domain, const QString& group, const QString& key);
    bool setConfigValue(const QString& domain, const QString& group, const QString& key, const QDBusVariant& value);

    bool isNetworkAvailable();

    // Processes of running applications (from orvana-screen).
    QList<int> processList(const QDBusMessage& message);
    QString sopidByPid(int pid, const QDBusMessage& message);

    // Packages
    bool isPackageInstalled(const QString& sopid);
    bool isPackageUninstallable(const QString& sopid);
    bool install(const QString& packageFile, bool replace);
    bool uninstall(const QString& sopid);
    bool clearAppData(const QString& sopid);

    // Audio
    bool setVolume(int type, int volume);
    int volume(int type);
    bool setVolumeByStep(int type, int step);
    int volumeByStep(int type);
    int volumeSteps();
    bool setAudioOutputPort(int port);
    bool setAudioInputPort(int port);
    int audioOutputPort();
    int audioInputPort();
    int volumeActiveRole();

private:
    bool setTimeout(const char* key, const char* name, int seconds);

    const SimContext& m_context;
};
