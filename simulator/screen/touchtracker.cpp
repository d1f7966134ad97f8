#include "touchtracker.h"

bool TouchTracker::update(int type, int slot, int x, int y, Event* event)
{
    if (slot < 0 || slot >= MAX_SLOTS || type < Released || type > Moved)
        return false;
    const bool down = contacts.contains(slot);
    if (type != Pressed && !down)
        return false;
    if (type == Pressed && contacts.isEmpty()) {
        fingers = 0;
        moves = 0;
        first = QPoint(x, y);
    }
    if (type == Pressed && !down)
        ++fingers;
    if (type == Moved)
        ++moves;
    last = QPoint(x, y);
    // A second press on a slot that is down moves that contact.
    const int state = (type == Pressed && down) ? int(Moved) : type;
    for (auto it = contacts.begin(); it != contacts.end(); ++it)
        it->state = Stationary;
    contacts[slot] = Contact{QPoint(x, y), state};
    *event = Event();
    for (auto it = contacts.cbegin(); it != contacts.cend(); ++it) {
        event->ids.append(it.key());
        event->states.append(it->state);
        event->xs.append(it->position.x());
        event->ys.append(it->position.y());
    }
    if (type == Released)
        contacts.remove(slot);
    return true;
}

QString TouchTracker::gestureSummary() const
{
    return QStringLiteral("touch %1 finger(s) from (%2,%3) to (%4,%5), %6 move(s)")
        .arg(fingers).arg(first.x()).arg(first.y()).arg(last.x()).arg(last.y()).arg(moves);
}
