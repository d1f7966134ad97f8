// Cost of orvana-screen's "screenImage" (ask the top application for its frame, compose, PNG)
// as a ratio to a bare PNG encode of the same image with the same settings, in the same run.
#include <QBuffer>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QThread>

#include <cstdio>

#include "devicepath.h"

namespace {

const int ROUNDS = 20;
// The quality orvana-screen encodes with (a fast zlib level).
const int SCREEN_QUALITY = 80;

QDBusMessage screenCall(const QString& method, const QVariantList& args = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("com.orvana.sim.Screen"), QStringLiteral("/screen"),
        QStringLiteral("com.orvana.sim.Screen"), method);
    call.setArguments(args);
    return QDBusConnection::systemBus().call(call, QDBus::Block, 20000);
}

QByteArray encode(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

// Mean times of a and b, run alternately so that load from elsewhere hits both alike.
template <typename A, typename B>
QPair<double, double> alternately(A a, B b)
{
    for (int i = 0; i < 3; ++i) {
        a();
        b();
    }
    qint64 ta = 0;
    qint64 tb = 0;
    QElapsedTimer timer;
    for (int i = 0; i < ROUNDS; ++i) {
        timer.start();
        a();
        ta += timer.nsecsElapsed();
        timer.start();
        b();
        tb += timer.nsecsElapsed();
    }
    return qMakePair(ta / 1e6 / ROUNDS, tb / 1e6 / ROUNDS);
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    // A busy form rather than the sparse home screen.
    const QString installed = ORVANA::devicePath(QStringLiteral("/data/packages"));
    QDir().mkpath(installed);
    const QDir built(QStringLiteral(PACKAGE_DIR));
    for (const QString& name : built.entryList({QStringLiteral("*.opk")}))
        QFile::copy(built.filePath(name), installed + QLatin1Char('/') + name);
    for (int i = 0; i < 200 && screenCall(QStringLiteral("topWindowPid")).arguments().value(0).toInt() <= 0; ++i)
        QThread::msleep(100);
    screenCall(QStringLiteral("launch"),
               {QStringLiteral("com.orvana.demo.list"), QStringLiteral("list"), QStringList(), uint(0)});

    QByteArray png = screenCall(QStringLiteral("screenImage")).arguments().value(0).toByteArray();
    const QImage image = QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) {
        std::fprintf(stderr, "bench_screenimage: no screen image\n");
        return 1;
    }
    auto path = [&]() {
        png = screenCall(QStringLiteral("screenImage")).arguments().value(0).toByteArray();
    };
    const QPair<double, double> same = alternately(path, [&]() { encode(image, SCREEN_QUALITY); });
    const QPair<double, double> level6 = alternately(path, [&]() { encode(image, -1); });
    std::printf("screenImage %dx%d: %.2f ms (%d bytes); bare PNG encode at the same level: %.2f ms; "
                "ratio %.2f (target <= 1.5); against the default zlib level: %.2f ms, ratio %.2f\n",
                image.width(), image.height(), same.first, int(png.size()), same.second,
                same.first / same.second, level6.second, level6.first / level6.second);
    return 0;
}
