#include "uimonitor.h"

#include "agentlog.h"
#include "connmanobject.h"
#include "endpointio.h"
#include "logwriter.h"
#include "syslogstream.h"

#include <caudiomanager.h>
#include <cnetworkmanager.h>
#include <cosinfo.h>
#include <cprocessmanager.h>
#include <csystemconfig.h>
#include <csystemdeviceinfo.h>
#include <csystemdisplaysettings.h>
#include <csystempackagemanager.h>
#include <csystempowermanager.h>
#include <csystemuserauthenmanager.h>
#include <ctime.h>
#include <devicepath.h>
#include <httprequest.h>
#include <httpresponse.h>

#include <QBuffer>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QPolygonF>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>
#include <QTransform>
#include <QVector>
#include <QtMath>

#include <cctype>
#include <cmath>
#include <limits>
#include <unistd.h>

using io = EndpointIo;

namespace {

const QByteArray emptyLayoutDocument = QByteArrayLiteral(
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><root createTime=\"\" sopId=\"\" uiAppId=\"\"></root>");

const int qtKeyBack = 0x01000061;
const int qtKeyHome = 0x01000010;
const int qtKeyMenu = 0x01000055;
const int linuxKeyPower = 116;
const int linuxKeyVolumeUp = 115;
const int linuxKeyVolumeDown = 114;

const qint64 maxEpochSeconds = std::numeric_limits<qint64>::max() / 1000;

// Pause between two passes of the Wi-Fi polls, so a waiting request never spins a core.
const int wifiPollPauseMs = 50;

// Waits for the reply in the calling thread. Not QDBus::Block: Qt's blocking call stores every
// error reply in the connection's one lastError without a lock, and handler threads whose calls
// fail at the same time (the phone's services gone) free its strings twice.
QDBusMessage blockingCall(QDBusAbstractInterface* iface, const QString& method, const QList<QVariant>& args)
{
    QDBusPendingCall pending = iface->asyncCallWithArgumentList(method, args);
    pending.waitForFinished();
    return pending.reply();
}

// A blocking call whose reply is read as T; a failed call reads as T's empty value.
template <typename T>
T callReply(QDBusAbstractInterface* iface, const QString& method, const QList<QVariant>& args = {})
{
    return QDBusReply<T>(blockingCall(iface, method, args)).value();
}

void callIgnoringReply(QDBusAbstractInterface* iface, const QString& method,
                       const QList<QVariant>& args = {})
{
    blockingCall(iface, method, args);
}

QDBusInterface* systemInterface(const QString& service, const QString& path, const QString& interface)
{
    return new QDBusInterface(service, path, interface, QDBusConnection::systemBus());
}

QSize pngSize(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "PNG");
    const QSize size = reader.size();
    return size.isValid() ? size : QSize(0, 0);
}

// Appends `text` in double quotes as QDebug shows a byte array: printable ASCII as it is, quotes,
// backslashes and everything else escaped, so that logged text cannot forge a line.
void appendQuoted(QByteArray* line, const QByteArray& text)
{
    static const char hex[] = "0123456789ABCDEF";
    bool afterHex = false;
    line->append('"');
    for (const char byte : text) {
        const unsigned char c = static_cast<unsigned char>(byte);
        const char* named = c == '\b' ? "\\b" : c == '\f' ? "\\f" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : nullptr;
        if (named) {
            line->append(named, 2);
        } else if (c == '"' || c == '\\') {
            line->append('\\').append(char(c));
        } else if (c >= 0x20 && c < 0x7f) {
            // A hex digit right after a \x escape would read as part of it: the string is split there.
            if (afterHex && isxdigit(c))
                line->append("\"\"", 2);
            line->append(char(c));
        } else {
            const char escaped[] = {'\\', 'x', hex[c >> 4], hex[c & 15]};
            line->append(escaped, 4);
        }
        afterHex = !named && (c < 0x20 || c >= 0x7f);
    }
    line->append('"');
}

// The parameter map as QDebug shows it, a password's value masked.
void appendLoggableParameters(QByteArray* line, const HttpRequest& request)
{
    const QMultiMap<QByteArray, QByteArray> parameters = request.getParameterMap();
    line->append("QMap(");
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
        line->append('(');
        appendQuoted(line, it.key());
        line->append(", ");
        appendQuoted(line, it.key() == "password" ? QByteArrayLiteral("***") : it.value());
        line->append(')');
    }
    line->append(')');
}

// Splits "x|y" into two numbers; a missing part reads as 0.
void parsePoint(const QString& text, int* x, int* y)
{
    const QStringList parts = text.split(QLatin1Char('|'));
    *x = parts.value(0).toInt(nullptr, 10);
    *y = parts.value(1).toInt(nullptr, 10);
}

struct Slide {
    QStringList start;
    QStringList end;
    double coordinate(const QStringList& point, int index) const { return point.value(index).toDouble(); }
    int integer(const QStringList& point, int index) const { return point.value(index).toInt(nullptr, 10); }
};

int slideStep(double from, double to, int steps, int k)
{
    const double value = from < to ? from + (to - from) / steps * k : from - (from - to) / steps * k;
    return EndpointIo::clampedInt(value);
}

// Every image a "/grabImage" request makes (the turned screen, the cut, the cut turned back)
// stays within this many pixels, 256 MiB at four bytes a pixel: a scale of 10, or 0.1 for an
// item of screen size, or an item of 30000 x 30000 would otherwise ask for gigabytes.
const double MAX_IMAGE_PIXELS = 64.0 * 1024 * 1024;

bool fitsImageBudget(double width, double height)
{
    // Written so that NaN does not fit.
    return width >= 0 && height >= 0 && width * height <= MAX_IMAGE_PIXELS;
}

bool fitsImageBudget(const QSizeF& size)
{
    return fitsImageBudget(size.width(), size.height());
}

// The size QImage::transformed gives a w x h image: the bounding box of its turned corners,
// widened to whole pixels.
QSizeF transformedSize(const QTransform& transform, qreal width, qreal height)
{
    const QRectF box = transform.map(QPolygonF(QRectF(0, 0, width, height))).boundingRect();
    return QSizeF(std::ceil(box.width()) + 1, std::ceil(box.height()) + 1);
}

// The left (or top) edge of the cut: past either end of an image of `extent` pixels by more
// than the cut's size (at most MAX_IMAGE_PIXELS) only empty pixels are cut anyway.
int cutCorner(double edge, int extent)
{
    const double bound = MAX_IMAGE_PIXELS + extent;
    return EndpointIo::clampedInt(qBound(-bound, edge, bound));
}

} // namespace

struct UIMonitor::Endpoint {
    const char* method;
    const char* path;
    void (*serve)(UIMonitor& self, HttpRequest& request, HttpResponse& response);
};

UIMonitor::UIMonitor(QObject* parent)
    : tarsel::HttpRequestHandler(parent)
{
    ctime = new CTime();
    powerMgr = new CSystemPowerManager();
    osinfo = new COsInfo();
    deviceinfo = new CSystemDeviceInfo();
    uam = new CSystemUserAuthenManager();
    display = new CSystemDisplaySettings();
    pocmgr = new CProcessManager();
    pkgmgr = new CSystemPackageManager();
    sysconfig = new CSystemConfig();
    audio = new CAudioManager();
    netmgr = new CNetworkManager();

    findBacklight();

    system_main_interface = systemInterface(SYSTEM_MAIN_SERVICE, SYSTEM_MAIN_PATH, SYSTEM_MAIN_INTERFACE);
    if (system_main_interface->isValid())
        qCDebug(lcAgent) << Q_FUNC_INFO << "dbus interface connected";
    else
        qCDebug(lcAgent) << Q_FUNC_INFO << QDBusConnection::systemBus().lastError().message();

    system_main_test_interface =
        systemInterface(SYSTEM_MAIN_SERVICE, SYSTEM_MAIN_PATH, SYSTEM_MAIN_ZVK_INTERFACE);
    if (system_main_test_interface->isValid())
        qCDebug(lcAgent) << Q_FUNC_INFO << "dbus interface connected";
    else
        qCDebug(lcAgent) << Q_FUNC_INFO << QDBusConnection::systemBus().lastError().message();

    qDBusRegisterMetaType<ConnmanObject>();
    qDBusRegisterMetaType<ConnmanObjectList>();
    qRegisterMetaType<ConnmanObjectList>("ConnmanObjectList");
}

UIMonitor::~UIMonitor()
{
    delete powerMgr;
    powerMgr = nullptr;
    delete ctime;
    ctime = nullptr;
    delete uam;
    uam = nullptr;
    delete osinfo;
    osinfo = nullptr;
    delete audio;
    audio = nullptr;
    delete netmgr;
    netmgr = nullptr;
    delete deviceinfo;
    deviceinfo = nullptr;
    delete display;
    display = nullptr;
    delete pocmgr;
    pocmgr = nullptr;
    delete pkgmgr;
    pkgmgr = nullptr;
    delete sysconfig;
    sysconfig = nullptr;
    delete system_main_interface;
    system_main_interface = nullptr;
    delete system_main_test_interface;
    system_main_test_interface = nullptr;
    app_interface.reset();
    delete f_brightness;
    delete backLight;
}

// The first device in directory-list order with both files is the backlight.
void UIMonitor::findBacklight()
{
    backLight = new QDir(ORVANA::devicePath(QStringLiteral("/sys/class/backlight/")));
    if (!backLight->exists())
        return;
    const QStringList devices = backLight->entryList(QDir::Dirs, QDir::Unsorted);
    for (const QString& device : devices) {
        const QDir dir(backLight->absolutePath() + QLatin1Char('/') + device);
        const QStringList entries = dir.entryList();
        if (!entries.contains(QStringLiteral("brightness")) || !entries.contains(QStringLiteral("max_brightness")))
            continue;
        f_brightness = new QFile(dir.absolutePath() + QStringLiteral("/brightness"));
        QFile max(dir.absolutePath() + QStringLiteral("/max_brightness"));
        if (max.open(QIODevice::ReadOnly)) {
            maxBrightnessValue = max.readAll().trimmed().toInt(nullptr, 10);
            max.close();
        } else {
            maxBrightnessValue = 0;
        }
        return;
    }
}

// Order = order of comparison; the first row with the same method and path serves.
const UIMonitor::Endpoint* UIMonitor::endpointTable(int* count)
{
    using Req = HttpRequest;
    using Resp = HttpResponse;
    static const Endpoint table[] = {
        // Page, log stream, screen and layout
        {"GET", "/", [](UIMonitor& m, Req&, Resp& r) { m.index_response(r); }},
        {"GET", "/SysLogger", [](UIMonitor& m, Req&, Resp& r) { m.sys_logger(r); }},
        {"GET", "/getScreenShot", [](UIMonitor& m, Req&, Resp& r) { m.screenshot_response(r); }},
        {"GET", "/getLayoutXML", [](UIMonitor& m, Req&, Resp& r) { m.layout_xml_response(r); }},
        {"GET", "/main.js", [](UIMonitor& m, Req&, Resp& r) { m.main_js_response(r); }},

        // Keys
        {"GET", "/sendKeyEvent", [](UIMonitor& m, Req& q, Resp&) {
             m.send_key_event_p(io::intParam(q, "value"), 1);
             m.sleep(io::intParam(q, "delay"));
             m.send_key_event_p(io::intParam(q, "value"), 0);
         }},
        {"GET", "/sendKeyEventWithUInput", [](UIMonitor& m, Req& q, Resp&) {
             const int key = io::intParam(q, "value");
             m.send_key_event_p_with_uinput(key, 1);
             m.sleep(io::intParam(q, "delay"));
             m.send_key_event_p_with_uinput(key, 0);
         }},
        {"GET", "/sendKeyEventPWithUInput", [](UIMonitor& m, Req& q, Resp&) {
             m.send_key_event_p_with_uinput(io::intParam(q, "value"), io::intParam(q, "type"));
         }},
        {"GET", "/sendKeyEventP", [](UIMonitor& m, Req& q, Resp&) {
             m.send_key_event_p(io::intParam(q, "value"), io::intParam(q, "type"));
         }},
        {"GET", "/sendPowerKeyEvent", [](UIMonitor& m, Req& q, Resp&) {
             m.send_key_event_with_uinput(linuxKeyPower, io::intParam(q, "delay"));
         }},
        {"GET", "/sendBackKeyEvent", [](UIMonitor& m, Req& q, Resp&) {
             m.send_key_event_p(qtKeyBack, 1);
             m.sleep(io::intParam(q, "delay"));
             m.send_key_event_p(qtKeyBack, 0);
         }},
        {"GET", "/sendHomeKeyEvent", [](UIMonitor& m, Req& q, Resp&) {
             m.send_key_event_p(qtKeyHome, 1);
             m.sleep(io::intParam(q, "delay"));
             m.send_key_event_p(qtKeyHome, 0);
         }},
        {"GET", "/sendMenuKeyEvent", [](UIMonitor& m, Req& q, Resp&) {
             m.send_key_event_p(qtKeyMenu, 1);
             m.sleep(io::intParam(q, "delay"));
             m.send_key_event_p(qtKeyMenu, 0);
         }},
        {"GET", "/sendVolumeUpKeyEvent", [](UIMonitor& m, Req& q, Resp&) {
             m.send_key_event_with_uinput(linuxKeyVolumeUp, io::intParam(q, "delay"));
         }},
        {"GET", "/sendVolumeDownKeyEvent", [](UIMonitor& m, Req& q, Resp&) {
             m.send_key_event_with_uinput(linuxKeyVolumeDown, io::intParam(q, "delay"));
         }},

        // Touch, slide, text
        {"GET", "/sendTouchEventPWithUInput", [](UIMonitor& m, Req& q, Resp&) {
             const int type = io::intParam(q, "type");
             const int slot = io::intParam(q, "slot");
             const int id = io::intParam(q, "id");
             const int x = io::intParam(q, "x");
             const int y = io::intParam(q, "y");
             m.send_touch_event_p_with_uinput(type, slot, id, x, y);
         }},
        {"GET", "/sendTouchEvent", [](UIMonitor& m, Req& q, Resp&) { m.send_touch_event(q); }},
        {"GET", "/sendSlideEvent", [](UIMonitor& m, Req& q, Resp&) { m.send_slide_event(q); }},
        {"GET", "/sendCommitString", [](UIMonitor& m, Req& q, Resp&) {
             m.send_commit_string(io::textParam(q, "str"));
         }},

        // Applications
        {"GET", "/launchApp", [](UIMonitor& m, Req& q, Resp&) { m.launchApp(q); }},
        {"GET", "/quitApp", [](UIMonitor& m, Req& q, Resp&) { m.quitApp(q); }},

        // Display and lock
        {"GET", "/setDisplayState", [](UIMonitor& m, Req& q, Resp&) {
             m.powerMgr->setDisplayState(
                 static_cast<CSystemPowerManager::DisplayState>(io::intParam(q, "state")));
         }},
        {"GET", "/getDisplayState", [](UIMonitor& m, Req&, Resp& r) {
             io::writeNumber(r, m.powerMgr->displayState());
         }},
        {"GET", "/setLockState", [](UIMonitor& m, Req& q, Resp&) {
             m.uam->setScreenState(static_cast<CUserAuthenManager::ScreenState>(io::intParam(q, "state")));
         }},
        {"GET", "/getLockState", [](UIMonitor& m, Req&, Resp& r) { io::writeNumber(r, m.uam->screenState()); }},
        {"GET", "/passwordExists", [](UIMonitor& m, Req&, Resp& r) { io::writeBool(r, m.uam->passwordExists()); }},
        {"GET", "/setPassword", [](UIMonitor& m, Req& q, Resp& r) {
             const QString password = io::textParam(q, "password");
             const auto type = static_cast<CSystemUserAuthenManager::PasswordType>(io::intParam(q, "type"));
             io::writeNumber(r, m.uam->setPassword(password, type));
         }},

        // System information and timeouts
        {"GET", "/getOsVersion", [](UIMonitor& m, Req&, Resp& r) {
             io::writeBody(r, m.osinfo->osVersion().toLatin1());
         }},
        {"GET", "/getSerialNumber", [](UIMonitor& m, Req&, Resp& r) {
             io::writeBody(r, m.deviceinfo->uniqueDeviceId().toLatin1());
         }},
        {"GET", "/getBlankTimeout", [](UIMonitor& m, Req&, Resp& r) {
             // The one reader without a Content-Type.
             r.write(QByteArray::number(m.display->blankTimeout(), 10), true);
         }},
        {"GET", "/setBlankTimeout", [](UIMonitor& m, Req& q, Resp&) {
             m.display->setBlankTimeout(io::intParam(q, "sec"));
         }},
        {"GET", "/getDimTimeout", [](UIMonitor& m, Req&, Resp& r) { io::writeNumber(r, m.display->dimTimeout()); }},
        {"GET", "/setDimTimeout", [](UIMonitor& m, Req& q, Resp&) {
             m.display->setDimTimeout(io::intParam(q, "sec"));
         }},

        // Files
        {"GET", "/checkFileExist", [](UIMonitor& m, Req& q, Resp& r) {
             io::writeBool(r, callReply<bool>(m.system_main_test_interface, QStringLiteral("fileExist"),
                                              {io::textParam(q, "filename")}));
         }},
        {"GET", "/fileRemove", [](UIMonitor& m, Req& q, Resp& r) {
             io::writeBool(r, callReply<bool>(m.system_main_test_interface, QStringLiteral("fileRemove"),
                                              {io::textParam(q, "filename")}));
         }},
        {"GET", "/mkdir", [](UIMonitor& m, Req& q, Resp& r) {
             io::writeBool(r, callReply<bool>(m.system_main_test_interface, QStringLiteral("mkdir"),
                                              {io::textParam(q, "dirname")}));
         }},
        {"GET", "/fileMove", [](UIMonitor& m, Req& q, Resp& r) {
             io::writeBool(r, callReply<bool>(m.system_main_test_interface, QStringLiteral("fileMove"),
                                              {io::textParam(q, "source"), io::textParam(q, "target")}));
         }},
        {"GET", "/fileCopy", [](UIMonitor& m, Req& q, Resp& r) {
             io::writeBool(r, callReply<bool>(m.system_main_test_interface, QStringLiteral("fileCopy"),
                                              {io::textParam(q, "source"), io::textParam(q, "target")}));
         }},
        {"GET", "/dirList", [](UIMonitor& m, Req& q, Resp& r) {
             io::writeBody(r, callReply<QByteArray>(m.system_main_test_interface, QStringLiteral("dirList"),
                                                    {io::textParam(q, "dirname")}));
         }},
        {"GET", "/dirRemove", [](UIMonitor& m, Req& q, Resp& r) {
             io::writeBool(r, callReply<bool>(m.system_main_test_interface, QStringLiteral("dirRemove"),
                                              {io::textParam(q, "dirname")}));
         }},
        {"GET", "/dirCopy", [](UIMonitor& m, Req& q, Resp& r) {
             io::writeBool(r, callReply<bool>(m.system_main_test_interface, QStringLiteral("dirCopy"),
                                              {io::textParam(q, "source"), io::textParam(q, "target")}));
         }},

        // Packages
        {"GET", "/appIsRunning", [](UIMonitor& m, Req& q, Resp& r) { m.appIsRunning(q, r); }},
        {"GET", "/isAppInstalled", [](UIMonitor& m, Req& q, Resp& r) {
             io::writeBool(r, m.pkgmgr->isPackageInstalled(io::textParam(q, "sopid")));
         }},
        {"GET", "/isAppUninstallable", [](UIMonitor& m, Req& q, Resp& r) {
             io::writeBool(r, m.pkgmgr->isPackageUninstallable(io::textParam(q, "sopid")));
         }},
        {"GET", "/install", [](UIMonitor& m, Req& q, Resp&) {
             m.pkgmgr->install(io::textParam(q, "filepath"), true);
         }},
        {"GET", "/uninstall", [](UIMonitor& m, Req& q, Resp& r) {
             io::writeBool(r, m.pkgmgr->uninstall(io::textParam(q, "sopid")));
         }},

        // Rotation and sensors
        {"GET", "/getRotationAllowed", [](UIMonitor& m, Req&, Resp& r) {
             io::writeBool(r, m.sysconfig->value(ROTATIONALLOWED_DOMAIN_VALUE, GROUP_DEFAULT,
                                                 ROTATIONALLOWED_KEY_VALUE).toBool());
         }},
        {"GET", "/setRotationAllowed", [](UIMonitor& m, Req& q, Resp&) {
             m.sysconfig->setValue(ROTATIONALLOWED_DOMAIN_VALUE, GROUP_DEFAULT, ROTATIONALLOWED_KEY_VALUE,
                                   QVariant(io::intParam(q, "allowed") != 0));
         }},
        {"GET", "/getScreenOrientation", [](UIMonitor& m, Req&, Resp& r) {
             io::writeNumber(r, callReply<int>(m.system_main_test_interface, QStringLiteral("getScreenOrientation")));
         }},
        {"GET", "/sendOrientationEvent", [](UIMonitor& m, Req& q, Resp&) {
             callIgnoringReply(m.system_main_test_interface, QStringLiteral("sendOrientationEvent"),
                               {io::intParam(q, "orientation")});
         }},
        {"GET", "/sendAmbientLightEvent", [](UIMonitor& m, Req& q, Resp&) {
             callIgnoringReply(m.system_main_test_interface, QStringLiteral("sendAmbientLightEvent"),
                               {io::intParam(q, "lux")});
         }},
        {"GET", "/sendProximityEvent", [](UIMonitor& m, Req& q, Resp&) {
             callIgnoringReply(m.system_main_test_interface, QStringLiteral("sendProximityEvent"),
                               {io::intParam(q, "withinProximity") != 0});
         }},
        {"GET", "/recoverOrientationSensor", [](UIMonitor& m, Req&, Resp&) {
             callIgnoringReply(m.system_main_test_interface, QStringLiteral("recoverOrientationSensor"));
         }},
        {"GET", "/recoverAmbientLightSensor", [](UIMonitor& m, Req&, Resp&) {
             callIgnoringReply(m.system_main_test_interface, QStringLiteral("recoverAmbientLightSensor"));
         }},
        {"GET", "/recoverProximitySensor", [](UIMonitor& m, Req&, Resp&) {
             callIgnoringReply(m.system_main_test_interface, QStringLiteral("recoverProximitySensor"));
         }},
        {"GET", "/grabImage", [](UIMonitor& m, Req& q, Resp& r) { m.grab_image_response(q, r); }},

        // Clock, toast, panel
        {"GET", "/getDatetime", [](UIMonitor&, Req&, Resp& r) {
             io::writeNumber(r, QDateTime::currentSecsSinceEpoch());
         }},
        {"GET", "/setDatetime", [](UIMonitor& m, Req& q, Resp&) {
             // Bounded so that the conversion to milliseconds cannot overflow.
             const qint64 seconds = qBound(-maxEpochSeconds, io::longParam(q, "datetime"), maxEpochSeconds);
             m.ctime->setTime(QDateTime::fromSecsSinceEpoch(seconds, Qt::LocalTime));
         }},
        {"GET", "/getAutoDatetime", [](UIMonitor& m, Req&, Resp& r) {
             const int status = m.ctime->autoSystemTime();
             io::writeNumber(r, status == 0 || status == 1 ? status : -1);
         }},
        {"GET", "/setAutoDatetime", [](UIMonitor& m, Req& q, Resp&) {
             m.ctime->setAutoSystemTime(io::intParam(q, "state") == 1 ? CTime::AutoSystemTimeOn
                                                                    : CTime::AutoSystemTimeOff);
         }},
        {"GET", "/getLatestToast", [](UIMonitor& m, Req&, Resp& r) {
             io::writeBody(r, callReply<QString>(m.system_main_test_interface, QStringLiteral("getLatestToast")).toUtf8());
         }},
        {"GET", "/clearAppData", [](UIMonitor& m, Req& q, Resp&) { m.pkgmgr->clearAppData(io::textParam(q, "sopid")); }},
        {"GET", "/setPanelState", [](UIMonitor& m, Req&, Resp&) {
             callIgnoringReply(m.system_main_interface, QStringLiteral("setPanelState"), {1, true});
         }},
        {"GET", "/getPanelState", [](UIMonitor& m, Req&, Resp& r) {
             io::writeBool(r, callReply<bool>(m.system_main_interface, QStringLiteral("getPanelState"), {1}));
         }},

        // Audio
        {"GET", "/getVolume", [](UIMonitor& m, Req& q, Resp& r) {
             io::writeNumber(r, m.audio->volume(io::intParam(q, "type")));
         }},
        {"GET", "/setVolume", [](UIMonitor& m, Req& q, Resp&) {
             const int type = io::intParam(q, "type");
             m.audio->setVolume(type, io::intParam(q, "volume"));
         }},
        {"GET", "/getVolumeByStep", [](UIMonitor& m, Req& q, Resp& r) {
             io::writeNumber(r, m.audio->volumeByStep(io::intParam(q, "type")));
         }},
        {"GET", "/setVolumeByStep", [](UIMonitor& m, Req& q, Resp&) {
             const int type = io::intParam(q, "type");
             m.audio->setVolumeByStep(type, io::intParam(q, "step"));
         }},
        {"GET", "/getVolumeSteps", [](UIMonitor& m, Req&, Resp& r) { io::writeNumber(r, m.audio->volumeSteps()); }},
        {"GET", "/getVolumeActiveRole", [](UIMonitor& m, Req&, Resp& r) {
             io::writeNumber(r, m.audio->volumeActiveRole());
         }},
        {"GET", "/setAudioOutputPort", [](UIMonitor& m, Req& q, Resp&) {
             m.audio->setAudioOutputPort(io::intParam(q, "type"));
         }},
        {"GET", "/getAudioOutputPort", [](UIMonitor& m, Req&, Resp& r) {
             io::writeNumber(r, m.audio->audioOutputPort());
         }},
        {"GET", "/setAudioInputPort", [](UIMonitor& m, Req& q, Resp&) {
             m.audio->setAudioInputPort(io::intParam(q, "type"));
         }},
        {"GET", "/getAudioInputPort", [](UIMonitor& m, Req&, Resp& r) { io::writeNumber(r, m.audio->audioInputPort()); }},

        // Brightness
        {"GET", "/maxBrightness", [](UIMonitor& m, Req&, Resp& r) { io::writeNumber(r, m.maxBrightnessValue); }},
        {"GET", "/setBrightness", [](UIMonitor& m, Req& q, Resp& r) { m.setBrightness(q, r); }},
        {"GET", "/getBrightness", [](UIMonitor& m, Req&, Resp& r) { m.getBrightness(r); }},
        {"GET", "/setAutoBrightness", [](UIMonitor& m, Req& q, Resp&) {
             m.display->setAmbientLightSensorEnabled(io::intParam(q, "enable") != 0);
         }},
        {"GET", "/getAutoBrightness", [](UIMonitor& m, Req&, Resp& r) {
             io::writeBool(r, m.display->ambientLightSensorEnabled());
         }},

        // Network
        {"GET", "/isNetworkAvailable", [](UIMonitor& m, Req&, Resp& r) {
             io::writeBool(r, m.netmgr->isNetworkAvailable());
         }},
        {"GET", "/connectOpenWiFi", [](UIMonitor& m, Req& q, Resp& r) { m.connect_open_wifi(q, r); }},

        // Upload
        {"POST", "/upLoadFile", [](UIMonitor& m, Req& q, Resp& r) { m.uploadFile(q, r); }},
    };
    *count = static_cast<int>(sizeof(table) / sizeof(table[0]));
    return table;
}

void UIMonitor::service(HttpRequest& request, HttpResponse& response)
{
    const QByteArray path = request.getPath();
    if (lcAgent().isDebugEnabled()) {
        // Formatted by hand: a QDebug stream per line would cost more than the request.
        QByteArray line;
        line.reserve(256);
        line.append(Q_FUNC_INFO).append(' ');
        const int head = line.size();
        appendQuoted(&line, path);
        tarsel::LogWriter::debug(lcAgent(), line.constData(), line.size());
        line.truncate(head);
        appendLoggableParameters(&line, request);
        tarsel::LogWriter::debug(lcAgent(), line.constData(), line.size());
    }

    // Rows by path, each path's rows in table order; built once (thread-safe static).
    static const QHash<QByteArray, QVector<const Endpoint*>> rowsByPath = [] {
        QHash<QByteArray, QVector<const Endpoint*>> rows;
        int count = 0;
        const Endpoint* table = endpointTable(&count);
        for (int i = 0; i < count; ++i)
            rows[QByteArray::fromRawData(table[i].path, int(qstrlen(table[i].path)))].append(&table[i]);
        return rows;
    }();
    const auto rows = rowsByPath.constFind(path);
    if (rows == rowsByPath.cend())
        return; // not in the table: the connection handler completes an empty 200 answer
    const QByteArray method = request.getMethod();
    for (const Endpoint* row : *rows) {
        if (method == row->method) {
            row->serve(*this, request, response);
            return;
        }
    }
}

void UIMonitor::serveResource(const QString& name, HttpResponse& response)
{
    QFile file(name);
    QByteArray body;
    if (file.open(QIODevice::ReadOnly)) {
        body = file.readAll();
        file.close();
    }
    response.write(body, true);
}

void UIMonitor::index_response(HttpResponse& response)
{
    serveResource(QStringLiteral(":/website/index.html"), response);
}

void UIMonitor::main_js_response(HttpResponse& response)
{
    serveResource(QStringLiteral(":/website/main.js"), response);
}

void UIMonitor::sys_logger(HttpResponse& response)
{
    SysLogStream(response).run();
}

void UIMonitor::screenshot_response(HttpResponse& response)
{
    io::setTextType(response);
    const QByteArray png = callReply<QByteArray>(system_main_test_interface, QStringLiteral("getScreenImage"));
    // Only the header is read for the size; the image goes out as it came.
    const QSize size = pngSize(png);
    QByteArray body = png.toBase64();
    body += ',' + QByteArray::number(size.height()) + ',' + QByteArray::number(size.width());
    response.write(body, true);
}

void UIMonitor::grab_image_response(HttpRequest& request, HttpResponse& response)
{
    io::setTextType(response);
    const int r = io::intParam(request, "r");
    const double s = io::doubleParam(request, "s");
    const int x = io::truncatedParam(request, "x");
    const int y = io::truncatedParam(request, "y");
    const int w = io::truncatedParam(request, "w");
    const int h = io::truncatedParam(request, "h");
    // An empty item is an empty picture (QImage::copy would take an empty rectangle for the
    // whole image); a scale that is not a finite number is as degenerate as 0.
    if (w <= 0 || h <= 0 || !fitsImageBudget(w, h) || !std::isfinite(s)) {
        response.write(QByteArray(), true);
        return;
    }

    const QByteArray png = callReply<QByteArray>(system_main_test_interface, QStringLiteral("getScreenImage"));
    const QImage screen = QImage::fromData(png, "PNG");
    const int width = screen.width();
    const int height = screen.height();

    QTransform transform;
    transform.scale(s, s);
    // As a double: -r of the smallest int does not exist.
    transform.rotate(-qreal(r), Qt::ZAxis);
    const QTransform inverse = transform.inverted();
    // The screen turned and the item turned back are the two images whose size the request sets.
    if (!fitsImageBudget(transformedSize(transform, width, height)) || !fitsImageBudget(transformedSize(inverse, w, h))) {
        response.write(QByteArray(), true);
        return;
    }

    qreal minX = 0;
    qreal minY = 0;
    const QPointF corners[] = {QPointF(0, 0), QPointF(width, 0), QPointF(width, height), QPointF(0, height)};
    for (const QPointF& corner : corners) {
        const QPointF mapped = transform.map(corner);
        minX = qMin(minX, mapped.x());
        minY = qMin(minY, mapped.y());
    }

    const QImage turned = screen.transformed(transform, Qt::SmoothTransformation);
    const QPointF centre = transform.map(QPointF(x, y));
    // A corner far outside the turned screen cuts only empty pixels; bounded, so that the
    // rectangle's own arithmetic cannot overflow.
    const int left = cutCorner(centre.x() - w / 2 - minX, turned.width());
    const int top = cutCorner(centre.y() - h / 2 - minY, turned.height());
    const QImage cut = turned.copy(left, top, w, h);
    const QImage item = cut.transformed(inverse, Qt::SmoothTransformation);

    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    item.save(&buffer, "PNG");
    buffer.close();
    response.write(encoded.toBase64(), true);
}

void UIMonitor::layout_xml_response(HttpResponse& response)
{
    io::setTextType(response);
    QSharedPointer<QDBusInterface> iface;
    int ifacePid;
    {
        QMutexLocker lock(&mutex);
        iface = app_interface;
        ifacePid = twin_pid;
    }
    // The top window's pid and the dump of the application that was on top the last time are
    // asked for at once; that dump counts only when the same application is still on top.
    const bool guessed = iface && iface->isValid();
    QDBusPendingCall dump = guessed ? iface->asyncCall(QStringLiteral("genareteLayoutInfo"))
                                    : QDBusPendingCall::fromCompletedCall(QDBusMessage());
    QDBusPendingCall topPid = system_main_test_interface->asyncCall(QStringLiteral("getTopWindowPid"));
    topPid.waitForFinished();
    const int pid = QDBusReply<int>(topPid.reply()).value();

    if (!guessed || pid != ifacePid) {
        QMutexLocker lock(&mutex);
        // An interface made before the application registered its test service stays invalid;
        // it is made again rather than leaving that application without a dump.
        if (twin_pid != pid || !app_interface || !app_interface->isValid()) {
            const QString id = QString::number(pid);
            app_interface.reset(new QDBusInterface(QStringLiteral("com.orvana.p") + id,
                                                   QStringLiteral("/com/orvana/p") + id,
                                                   QStringLiteral("com.orvana.uitest.Interface"),
                                                   QDBusConnection::sessionBus()));
            twin_pid = pid;
        }
        iface = app_interface;
        if (iface->isValid())
            dump = iface->asyncCall(QStringLiteral("genareteLayoutInfo"));
    }

    QByteArray result = emptyLayoutDocument;
    if (iface->isValid()) {
        qCDebug(lcAgent) << Q_FUNC_INFO << "dbus app_interface connected";
        dump.waitForFinished();
        const QString layout = QDBusReply<QString>(dump.reply()).value();
        if (!layout.isEmpty())
            result = layout.toUtf8();
    } else {
        qCDebug(lcAgent) << Q_FUNC_INFO << iface->lastError().message();
    }
    response.write(result, true);
}

void UIMonitor::send_key_event_p(int key, int type)
{
    const QString tail = QStringLiteral(",%1,0,,true,").arg(key);
    if (type == 1) {
        callIgnoringReply(system_main_test_interface, QStringLiteral("sendKeyEvent"), {QStringLiteral("51") + tail});
        callIgnoringReply(system_main_test_interface, QStringLiteral("sendKeyEvent"), {QStringLiteral("6") + tail});
    } else {
        callIgnoringReply(system_main_test_interface, QStringLiteral("sendKeyEvent"), {QStringLiteral("7") + tail});
    }
}

void UIMonitor::send_key_event_p_with_uinput(int key, int type)
{
    callIgnoringReply(system_main_test_interface, QStringLiteral("sendKeyEventWithUInput"), {type, key});
}

void UIMonitor::send_key_event_with_uinput(int key, int delay)
{
    send_key_event_p_with_uinput(key, 1);
    sleep(delay);
    send_key_event_p_with_uinput(key, 0);
}

// Waits with the thread's timers and posted events still served. Socket notifications wait
// until the request is answered, so the connection is never read again mid-request. A precise
// timer: Qt's default for 2 s and more is a coarse one that may end up to 5% early, which would
// release a long press before the platform's long-press threshold.
void UIMonitor::sleep(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(qMax(ms, 0), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeSocketNotifiers);
}

void UIMonitor::send_touch_event_p_with_uinput(int type, int slot, int id, int x, int y)
{
    callIgnoringReply(system_main_test_interface, QStringLiteral("sendTouchEventWithUInput"),
                      {type, slot, id, x, y});
}

void UIMonitor::send_touch_event(HttpRequest& request)
{
    const QString points = io::textParam(request, "points");
    const int delay = io::intParam(request, "delay");

    QVector<QPoint> fingers;
    if (points.split(QLatin1Char('|')).size() == 2) {
        int x = 0;
        int y = 0;
        parsePoint(points, &x, &y);
        fingers.append(QPoint(x, y));
    } else {
        for (const QString& point : points.split(QLatin1Char(','))) {
            int x = 0;
            int y = 0;
            parsePoint(point, &x, &y);
            fingers.append(QPoint(x, y));
        }
    }

    for (int i = 0; i < fingers.size(); ++i)
        send_touch_event_p_with_uinput(1, i, i, fingers[i].x(), fingers[i].y());
    sleep(delay);
    for (int i = 0; i < fingers.size(); ++i)
        send_touch_event_p_with_uinput(0, i, i, fingers[i].x(), fingers[i].y());
}

void UIMonitor::send_slide_event(HttpRequest& request)
{
    QVector<Slide> slides;
    for (const QString& part : io::textParam(request, "sliders").split(QLatin1Char(','))) {
        const QStringList ends = part.split(QStringLiteral("->"));
        slides.append({ends.value(0).split(QLatin1Char('|')), ends.value(1).split(QLatin1Char('|'))});
    }

    // Step count: the shortest slide's length in pixels, between 2 and 30.
    double shortest = 0;
    for (const Slide& slide : slides) {
        const double dx = slide.coordinate(slide.start, 0) - slide.coordinate(slide.end, 0);
        const double dy = slide.coordinate(slide.start, 1) - slide.coordinate(slide.end, 1);
        const double length = std::sqrt(dx * dx + dy * dy);
        if (shortest == 0 || length < shortest)
            shortest = length;
    }
    if (shortest > 30)
        shortest = 30;
    // Not a number (coordinates past the double range) counts as short.
    const int steps = shortest >= 2 ? static_cast<int>(shortest) : 2;

    for (int i = 0; i < slides.size(); ++i) {
        const Slide& s = slides[i];
        send_touch_event_p_with_uinput(1, i, i, s.integer(s.start, 0), s.integer(s.start, 1));
    }
    for (int k = 1; k < steps; ++k) {
        for (int i = 0; i < slides.size(); ++i) {
            const Slide& s = slides[i];
            const int x = slideStep(s.coordinate(s.start, 0), s.coordinate(s.end, 0), steps, k);
            const int y = slideStep(s.coordinate(s.start, 1), s.coordinate(s.end, 1), steps, k);
            send_touch_event_p_with_uinput(2, i, i, x, y);
        }
    }
    for (int i = 0; i < slides.size(); ++i) {
        const Slide& s = slides[i];
        send_touch_event_p_with_uinput(0, i, i, s.integer(s.end, 0), s.integer(s.end, 1));
    }
}

void UIMonitor::send_commit_string(QString text)
{
    callIgnoringReply(system_main_test_interface, QStringLiteral("emitSendCommitString"), {text});
}

void UIMonitor::createParamsString(const QStringList& params, QString& out)
{
    for (const QString& param : params)
        out += param + QLatin1Char('\t');
    if (!out.isEmpty())
        out.chop(1);
}

namespace {
void logIoManagerReply(const char* function, const QDBusReply<bool>& reply)
{
    if (reply.isValid())
        qCDebug(lcAgent) << function << "Replay is ok:: " << reply.value();
    else
        qCDebug(lcAgent) << function << "Replay error: " << reply.error().message();
}
} // namespace

void UIMonitor::launchApp(HttpRequest& request)
{
    const QString sopid = io::textParam(request, "sopid");
    const QString uiappid = io::textParam(request, "uiappid");
    QString params;
    createParamsString(QStringList(), params);
    const QString command = DBUS_HEAD_POWER_LAUNCH_RUN_APP + QString::number(getuid()) + QLatin1Char('\t') + sopid
                            + QLatin1Char('\t') + uiappid + QLatin1Char('\t') + params;

    QScopedPointer<QDBusInterface> iomanager(systemInterface(IOMGR_SERVICE, IOMGR_PATH, IOMGR_INTERFACE));
    const QDBusReply<bool> reply = blockingCall(iomanager.data(), QStringLiteral("sendAppData"), {command});
    logIoManagerReply(Q_FUNC_INFO, reply);
}

void UIMonitor::quitApp(HttpRequest& request)
{
    const QStringList apps{QString::fromUtf8(request.getParameter("sopid") + '/' + request.getParameter("uiappid"))};
    QScopedPointer<QDBusInterface> iomanager(systemInterface(IOMGR_SERVICE, IOMGR_PATH, IOMGR_INTERFACE));
    const QDBusReply<bool> reply = blockingCall(iomanager.data(), QStringLiteral("quitApps"), {apps});
    logIoManagerReply(Q_FUNC_INFO, reply);
}

void UIMonitor::appIsRunning(HttpRequest& request, HttpResponse& response)
{
    const QString sopid = io::textParam(request, "sopid");
    for (int pid : pocmgr->processList()) {
        if (pocmgr->sopidByPid(pid) == sopid) {
            io::writeBool(response, true);
            return;
        }
    }
    io::writeBool(response, false);
}

void UIMonitor::setBrightness(HttpRequest& request, HttpResponse& response)
{
    const int brightness = io::intParam(request, "brightness");
    int result = 0;
    if (brightness >= 0 && brightness <= maxBrightnessValue && f_brightness) {
        QMutexLocker lock(&brightnessMutex);
        // Truncated as a shell's "echo > brightness" does: on a plain file a shorter number
        // would otherwise leave the old digits behind it.
        if (f_brightness->open(QIODevice::ReadWrite | QIODevice::Truncate)) {
            result = static_cast<int>(f_brightness->write(QByteArray::number(brightness, 10)));
            // A write that never reaches the file is a failed write.
            if (!f_brightness->flush())
                result = -1;
            f_brightness->close();
        }
    }
    io::writeNumber(response, result);
}

void UIMonitor::getBrightness(HttpResponse& response)
{
    int result = -1;
    if (f_brightness) {
        QMutexLocker lock(&brightnessMutex);
        if (f_brightness->open(QIODevice::ReadWrite)) {
            result = f_brightness->readAll().trimmed().toInt(nullptr, 10);
            f_brightness->close();
        }
    }
    io::writeNumber(response, result);
}

void UIMonitor::uploadFile(HttpRequest& request, HttpResponse& response)
{
    QFile* file = request.getUploadedFile("file");
    // Without a file field there is nothing to move.
    if (!file) {
        response.write("0", true);
        return;
    }
    file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                         | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                         | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
    file->close();

    const QString destination = QString::fromUtf8(request.getHeader("FileName"));
    if (callReply<bool>(system_main_test_interface, QStringLiteral("fileExist"), {destination}))
        callIgnoringReply(system_main_test_interface, QStringLiteral("fileRemove"), {destination});
    const bool moved =
        callReply<bool>(system_main_test_interface, QStringLiteral("fileMove"), {file->fileName(), destination});
    response.write(moved ? "1" : "0", true);
}

bool UIMonitor::check_wifi_state(QDBusInterface* wifi_iface)
{
    const QVariantMap properties = callReply<QVariantMap>(wifi_iface, QStringLiteral("GetProperties"));
    return properties.value(QStringLiteral("Powered")).toBool();
}

void UIMonitor::connect_open_wifi(HttpRequest& request, HttpResponse& response)
{
    int timeout = io::intParam(request, "timeout");
    if (timeout == 0)
        timeout = 30;

    QScopedPointer<QDBusInterface> technology(
        systemInterface(CONNMAN_SERVICE, CONNMAN_TECHNOLOGY_PATH, CONNMAN_TECHNOLOGY_IFACE));
    callIgnoringReply(technology.data(), QStringLiteral("SetProperty"),
                      {QStringLiteral("Powered"), QVariant::fromValue(QDBusVariant(true))});
    // The wait for power is bounded by the request's own timeout and paced.
    const qint64 powerDeadline = QDateTime::currentMSecsSinceEpoch() + qMax(timeout, 0) * 1000LL;
    while (!check_wifi_state(technology.data()) && QDateTime::currentMSecsSinceEpoch() < powerDeadline)
        QThread::msleep(wifiPollPauseMs);
    technology.reset();

    const QString ssid = io::textParam(request, "ssid");
    QScopedPointer<QDBusInterface> manager(systemInterface(CONNMAN_SERVICE, CONNMAN_PATH, CONNMAN_MANAGER_IFACE));
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() / 1000 + timeout;
    bool firstPass = true;
    while (deadline > QDateTime::currentMSecsSinceEpoch() / 1000) {
        if (!firstPass)
            QThread::msleep(wifiPollPauseMs);
        firstPass = false;
        const ConnmanObjectList services = callReply<ConnmanObjectList>(manager.data(), QStringLiteral("GetServices"));
        for (const ConnmanObject& service : services) {
            if (service.properties.value(QStringLiteral("Name")).toString() != ssid)
                continue;
            QScopedPointer<QDBusInterface> connection(
                systemInterface(CONNMAN_SERVICE, service.objpath.path(), CONNMAN_SERVICE_IFACE));
            callIgnoringReply(connection.data(), QStringLiteral("Connect"));
            io::writeBool(response, true);
            return;
        }
    }
    io::writeBool(response, false);
}
