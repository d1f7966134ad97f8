#pragma once

#include <QDBusConnection>

class AudioControl;
class ConfigStore;
class DeviceState;
class KeyInput;
class LockSettings;
class Networks;
class PackageStore;
class Phone;
class ProcessKiller;
class ScreenLink;
class Sensors;
class SystemLog;

// The simulator's parts, as the D-Bus adaptors see them. Owned by Simulator.
struct SimContext
{
    QDBusConnection bus;
    DeviceState* state;
    SystemLog* log;
    ScreenLink* screen;
    Phone* phone;
    ConfigStore* config;
    AudioControl* audio;
    LockSettings* lock;
    Sensors* sensors;
    KeyInput* keys;
    PackageStore* packages;
    Networks* networks;
    ProcessKiller* killer;
};
