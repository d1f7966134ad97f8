// The relay on its own: what the agent runs on port 10009, without the rest of the agent.
#include "proxyserver.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    ProxyServer proxy(nullptr);
    return app.exec();
}
