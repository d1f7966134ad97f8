#pragma once

#include <httprequesthandler.h>

#include <QMutex>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

class QDBusInterface;
class QDir;
class QFile;
class CSystemPowerManager;
class CSystemUserAuthenManager;
class COsInfo;
class CSystemDeviceInfo;
class CSystemDisplaySettings;
class CProcessManager;
class CSystemPackageManager;
class CSystemConfig;
class CNetworkManager;
class CTime;
class CAudioManager;

namespace tarsel {
class HttpRequest;
class HttpResponse;
}
using tarsel::HttpRequest;
using tarsel::HttpResponse;

// The agent's request handler: routes every request by method and exact path to its endpoint.
// service() runs on many connection-handler threads at once.
class UIMonitor : public tarsel::HttpRequestHandler
{
    Q_OBJECT
public:
    explicit UIMonitor(QObject* parent);
    ~UIMonitor() override;

    void service(HttpRequest& request, HttpResponse& response) override;

    void index_response(HttpResponse& response);
    void main_js_response(HttpResponse& response);
    void sys_logger(HttpResponse& response);
    void screenshot_response(HttpResponse& response);
    void grab_image_response(HttpRequest& request, HttpResponse& response);
    void layout_xml_response(HttpResponse& response);
    void send_key_event_p(int key, int type);
    void send_key_event_with_uinput(int key, int delay);
    void send_key_event_p_with_uinput(int key, int type);
    void sleep(int ms);
    void send_touch_event(HttpRequest& request);
    void send_slide_event(HttpRequest& request);
    void send_touch_event_p_with_uinput(int type, int slot, int id, int x, int y);
    void send_commit_string(QString text);
    void launchApp(HttpRequest& request);
    void createParamsString(const QStringList& params, QString& out);
    void connect_open_wifi(HttpRequest& request, HttpResponse& response);
    bool check_wifi_state(QDBusInterface* wifi_iface);

    struct Endpoint;

private:
    static const Endpoint* endpointTable(int* count);
    void serveResource(const QString& name, HttpResponse& response);
    void quitApp(HttpRequest& request);
    void appIsRunning(HttpRequest& request, HttpResponse& response);
    void setBrightness(HttpRequest& request, HttpResponse& response);
    void getBrightness(HttpResponse& response);
    void uploadFile(HttpRequest& request, HttpResponse& response);
    void findBacklight();

    QDBusInterface* system_main_interface = nullptr;
    QDBusInterface* system_main_test_interface = nullptr;
    // Shared so that a request still calling a replaced interface keeps it alive.
    QSharedPointer<QDBusInterface> app_interface;
    CSystemPowerManager* powerMgr = nullptr;
    CSystemUserAuthenManager* uam = nullptr;
    COsInfo* osinfo = nullptr;
    CSystemDeviceInfo* deviceinfo = nullptr;
    CSystemDisplaySettings* display = nullptr;
    CProcessManager* pocmgr = nullptr;
    CSystemPackageManager* pkgmgr = nullptr;
    CSystemConfig* sysconfig = nullptr;
    CNetworkManager* netmgr = nullptr;
    int twin_pid = -1;
    int maxBrightnessValue = -1;
    QMutex mutex;
    CTime* ctime = nullptr;
    CAudioManager* audio = nullptr;
    QDir* backLight = nullptr;
    QFile* f_brightness = nullptr;
    // Serialises the open-transfer-close of the shared brightness file.
    QMutex brightnessMutex;
};
