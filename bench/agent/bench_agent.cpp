// The agent's two heaviest reads against what they cannot avoid, in one run:
//   "/getScreenShot" against the compositor's "getScreenImage" call plus Base64 of its bytes;
//   "/getLayoutXML" of a 500-item window against the application's own dump call.
// The agent is read with a plain socket client, the peers with Qt's D-Bus calls.
#include "agentprocess.h"
#include "httpclient.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPair>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const int rounds = 15;

// The size of the whole answer to a GET, read with plain blocking calls into a buffer that is
// kept (its pages are mapped once), so that the client's own work is as small as the peer's
// D-Bus call and the measure is the agent's. -1 unless it is a 200.
int leanGet(const char* target)
{
    static QByteArray answer(8 << 20, '\0');
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(10008);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int used = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
        const QByteArray request = QByteArray("GET ") + target + " HTTP/1.1\r\nHost: phone\r\nConnection: close\r\n\r\n";
        if (::send(fd, request.constData(), size_t(request.size()), 0) == request.size()) {
            for (ssize_t got; (got = ::recv(fd, answer.data() + used, size_t(answer.size() - used), 0)) > 0;) {
                used += int(got);
                if (used == answer.size())
                    answer.resize(answer.size() * 2);
            }
        }
    }
    ::close(fd);
    return used > 12 && std::memcmp(answer.constData(), "HTTP/1.1 200", 12) == 0 ? used : -1;
}

// Median of the rounds, in milliseconds.
double measure(const std::function<void()>& work)
{
    work();
    QVector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Medians of the agent's and the peer's rounds, taking turns, so that a busy moment of the
// machine falls on both alike.
QPair<double, double> measureSideBySide(const std::function<void()>& agent, const std::function<void()>& peer)
{
    agent();
    peer();
    QVector<double> agentTimes, peerTimes;
    for (int i = 0; i < 2 * rounds + 1; ++i) {
        for (int turn = 0; turn < 2; ++turn) {
            // The order alternates too: neither one always runs right after the other.
            const bool agentTurn = (turn == 0) == (i % 2 == 0);
            QElapsedTimer timer;
            timer.start();
            (agentTurn ? agent : peer)();
            (agentTurn ? agentTimes : peerTimes).append(timer.nsecsElapsed() / 1e6);
        }
    }
    std::sort(agentTimes.begin(), agentTimes.end());
    std::sort(peerTimes.begin(), peerTimes.end());
    return qMakePair(agentTimes[agentTimes.size() / 2], peerTimes[peerTimes.size() / 2]);
}

const char* manyItems = R"(import QtQuick 2.12
Rectangle {
    color: "white"
    Flow {
        anchors.fill: parent
        Repeater {
            model: 500
            Rectangle { width: 40; height: 40; color: index % 2 ? "#2d7ff9" : "#eeeeee"; objectName: "cell" + index }
        }
    }
})";

bool installManyItems()
{
    QJsonObject app{{"uiappid", "cells"}, {"name", "Cells"}, {"qml", QString::fromLatin1(manyItems)}};
    QJsonObject package{{"sopid", "com.bench.cells"}, {"uninstallable", true}, {"apps", QJsonArray{app}}};
    const QString path = qEnvironmentVariable("ORVANA_DEVICE_ROOT") + QStringLiteral("/cells.opk");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(package).toJson());
    file.close();
    HttpClient::get("/install?filepath=" + QUrl::toPercentEncoding(path));
    HttpClient::get("/launchApp?sopid=com.bench.cells&uiappid=cells");
    for (int i = 0; i < 100; ++i) {
        if (HttpClient::get("/getLayoutXML").body.contains("sopId=\"com.bench.cells\""))
            return true;
        QThread::msleep(100);
    }
    return false;
}

void report(const char* name, double agent, double peer, double target)
{
    std::printf("%-34s agent %8.2f ms   peer %8.2f ms   ratio %5.2f   target <= %.1f  %s\n", name, agent, peer,
                agent / peer, target, agent / peer <= target ? "met" : "MISSED");
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    AgentProcess agent;
    if (!agent.start({QStringLiteral("QT_LOGGING_RULES=*.debug=false")})) {
        std::fprintf(stderr, "agent did not start\n");
        return 1;
    }
    QDBusInterface compositor(QStringLiteral("com.orvana.compositor"), QStringLiteral("/com/orvana/compositor"),
                              QStringLiteral("com.orvana.compositor.ZelvikInterface"), QDBusConnection::systemBus());

    const QPair<double, double> screen = measureSideBySide([] { leanGet("/getScreenShot"); }, [&] {
        const QDBusReply<QByteArray> png = compositor.call(QStringLiteral("getScreenImage"));
        volatile int size = png.value().toBase64().size();
        (void)size;
    });
    report("getScreenShot", screen.first, screen.second, 1.2);

    if (!installManyItems()) {
        std::fprintf(stderr, "the 500-item application did not come up\n");
        return 1;
    }
    const int pid = QDBusReply<int>(compositor.call(QStringLiteral("getTopWindowPid"))).value();
    QDBusInterface application(QStringLiteral("com.orvana.p%1").arg(pid), QStringLiteral("/com/orvana/p%1").arg(pid),
                               QStringLiteral("com.orvana.uitest.Interface"), QDBusConnection::sessionBus());
    if (leanGet("/getLayoutXML") < 100000) {
        std::fprintf(stderr, "the 500-item layout did not come whole\n");
        return 1;
    }
    const QPair<double, double> layout = measureSideBySide([] { leanGet("/getLayoutXML"); },
                                                           [&] { application.call(QStringLiteral("genareteLayoutInfo")); });
    report("getLayoutXML (500 items)", layout.first, layout.second, 1.2);
    // What the agent must add to the application's own call: the top-window query.
    const double topPid = measure([&] { compositor.call(QStringLiteral("getTopWindowPid")); });
    std::printf("%-34s %8.2f ms (part of the agent's layout answer)\n", "getTopWindowPid", topPid);
    return 0;
}
