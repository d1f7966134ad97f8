#pragma once

#include <QElapsedTimer>
#include <QtTest>

// Runs the event loop until `done` holds or the time is up (an upper bound, generous for
// sanitizer builds on a loaded machine).
template <typename Condition>
bool waitUntil(Condition done, int timeoutMs = 15000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(1);
    }
    return true;
}
