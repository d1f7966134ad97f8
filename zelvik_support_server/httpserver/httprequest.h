#pragma once

#include <QString>

// D-Bus names of the platform services. Each unit that includes this header has its own copy.
static const QString SYSTEM_MAIN_SERVICE = QStringLiteral("com.orvana.compositor");
static const QString SYSTEM_MAIN_PATH = QStringLiteral("/com/orvana/compositor");
static const QString SYSTEM_MAIN_INTERFACE = QStringLiteral("com.orvana.compositor.CompositorInterface");
static const QString SYSTEM_MAIN_ZVK_INTERFACE = QStringLiteral("com.orvana.compositor.ZelvikInterface");
static const QString IOMGR_SERVICE = QStringLiteral("com.orvana.iomanager");
static const QString IOMGR_PATH = QStringLiteral("/com/orvana/compositor/IOManager");
static const QString IOMGR_INTERFACE = QStringLiteral("com.orvana.compositor.IOManager");
static const QString CONNMAN_SERVICE = QStringLiteral("net.connman");
static const QString CONNMAN_PATH = QStringLiteral("/");
static const QString CONNMAN_MANAGER_IFACE = QStringLiteral("net.connman.Manager");
static const QString CONNMAN_TECHNOLOGY_PATH = QStringLiteral("/net/connman/technology/wifi");
static const QString CONNMAN_TECHNOLOGY_IFACE = QStringLiteral("net.connman.Technology");
static const QString CONNMAN_SERVICE_IFACE = QStringLiteral("net.connman.Service");
static const QString ROTATIONALLOWED_DOMAIN_VALUE = QStringLiteral("com.orvana.settings.rotationAllowed");
static const QString ROTATIONALLOWED_KEY_VALUE = QStringLiteral("SYSTEM_ROTATIONALLOWED");
static const QString GROUP_DEFAULT = QStringLiteral("group");
static const QString DBUS_HEAD_POWER_LAUNCH_RUN_APP = QStringLiteral("PowerLaunchRunApp\t");
