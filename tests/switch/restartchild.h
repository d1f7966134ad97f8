#ifndef RESTARTCHILD_H
#define RESTARTCHILD_H

#include <QProcess>

// The restart button ends the process, so it is tapped in a child process: the test program
// run again with SWITCH_TEST_RESTART_CHILD set, which builds the workspace, taps the switch
// and then the button, and runs the application's own event loop.
namespace RestartChild {
bool isChild();
int run(int argc, char* argv[]);
// Runs the child to its end; false if it did not end within the time limit.
bool start(QProcess& child);
}

#endif // RESTARTCHILD_H
