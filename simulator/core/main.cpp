// orvana-sim: the simulated phone's compositor, IOManager, ConnMan and system services.
#include "simulator.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Simulator simulator;
    if (!simulator.start())
        return 1;
    return app.exec();
}
