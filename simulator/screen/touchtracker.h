#pragma once

#include <QList>
#include <QMap>
#include <QPoint>
#include <QString>

// The contacts of the virtual touch screen, one per slot, turned into whole touch events.
class TouchTracker
{
public:
    // Contact states as the window interface takes them.
    enum State { Released = 0, Pressed = 1, Moved = 2, Stationary = 3 };

    struct Event
    {
        QList<int> ids;
        QList<int> states;
        QList<int> xs;
        QList<int> ys;
    };

    static const int MAX_SLOTS = 16;

    // type 1 press, 2 move, 0 release. False when the report changes nothing (an unknown type,
    // a slot out of range, a move or release of a slot that is not down).
    bool update(int type, int slot, int x, int y, Event* event);
    bool isIdle() const { return contacts.isEmpty(); }
    // After the last contact has lifted: one line describing the gesture.
    QString gestureSummary() const;

private:
    struct Contact
    {
        QPoint position;
        int state = Pressed;
    };

    QMap<int, Contact> contacts;
    int fingers = 0;
    int moves = 0;
    QPoint first;
    QPoint last;
};
