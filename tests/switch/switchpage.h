#ifndef SWITCHPAGE_H
#define SWITCHPAGE_H

#include <QString>

class QQuickItem;
class QQuickView;

// Drives the switch application's page the way a finger would and looks at what it shows.
class SwitchPage
{
public:
    explicit SwitchPage(QQuickView* view);

    // The page is (re)loaded: waits until it has been drawn.
    bool waitForFrame();

    bool switchOn() const;
    bool buttonEnabled() const;
    void tapSwitch();
    void tapButton();

private:
    QQuickItem* item(const char* name) const;
    void tap(QQuickItem* target);

    QQuickView* m_view;
};

#endif // SWITCHPAGE_H
