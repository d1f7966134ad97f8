#ifndef SWITCHDBUS_H
#define SWITCHDBUS_H

#include <QObject>

class QDBusInterface;

// The compositor's automation switch as the switch application sees it.
class SwitchDBus : public QObject
{
    Q_OBJECT
public:
    explicit SwitchDBus(QObject* parent = nullptr);

public slots:
    bool getSwitch();
    void setSwitch(bool s);
    void restartSystemMain();

private:
    QDBusInterface* interface;
};

#endif // SWITCHDBUS_H
