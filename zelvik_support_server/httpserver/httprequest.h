#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QMultiMap>
#include <QString>

class QDBusInterface;
class QFile;
class QSettings;
class QTcpSocket;

// D-Bus names of the platform services. Each unit that includes this header has its own copy.
static const QString SYSTEM_MAIN_SERVICE = QStringLiteral("com.orvana.compositor");
static const QString SYSTEM_MAIN_PATH = QStringLiteral("/com/orvana/compositor");
static const QString SYSTEM_MAIN_INTERFACE = QStringLiteral("com.orvana.compositor.CompositorInterface");
static const QString SYSTEM_MAIN_ZVK_INTERFACE = QStringLiteral("com.orvana.compositor.ZelvikInterface");
static const QString IOMGR_SERVICE = QStringLiteral("com.orvana.iomanager");
static const QString IOMGR_PATH = QStringLiteral("/com/orvana/compositor/IOManager");
static const QString IOMGR_INTERFACE = QStringLiteral("com.orvana.compositor.IOManager");
static const QString CONNMAN_SERVICE = QStringLiteral("net.connman");
static const QString CONNMAN_PATH = QStringLiteral("/");
static const QString CONNMAN_MANAGER_IFACE = QStringLiteral("net.connman.Manager");
static const QString CONNMAN_TECHNOLOGY_PATH = QStringLiteral("/net/connman/technology/wifi");
static const QString CONNMAN_TECHNOLOGY_IFACE = QStringLiteral("net.connman.Technology");
static const QString CONNMAN_SERVICE_IFACE = QStringLiteral("net.connman.Service");
static const QString ROTATIONALLOWED_DOMAIN_VALUE = QStringLiteral("com.orvana.settings.rotationAllowed");
static const QString ROTATIONALLOWED_KEY_VALUE = QStringLiteral("SYSTEM_ROTATIONALLOWED");
static const QString GROUP_DEFAULT = QStringLiteral("group");
static const QString DBUS_HEAD_POWER_LAUNCH_RUN_APP = QStringLiteral("PowerLaunchRunApp\t");

namespace tarsel {

// One HTTP request, parsed from the bytes of a socket as they arrive. A multipart body is
// streamed into a file in the agent's temporary directory and split into form fields and
// uploaded files once it is complete.
class HttpRequest
{
    Q_DISABLE_COPY(HttpRequest)
public:
    enum RequestStatus { waitForRequest = 0, waitForHeader = 1, waitForBody = 2, complete = 3, abort = 4 };

    explicit HttpRequest(const QSettings* settings);
    // The connection handler passes the limits it read from the settings.
    HttpRequest(int maxRequestSize, int maxMultiPartSize);
    virtual ~HttpRequest();

    void readFromSocket(QTcpSocket* socket);
    RequestStatus getStatus() const;

    QByteArray getMethod() const;
    QByteArray getPath() const;
    QByteArray getRawPath() const;
    QByteArray getVersion() const;

    QByteArray getHeader(const QByteArray& name) const;
    QList<QByteArray> getHeaders(const QByteArray& name) const;
    QMultiMap<QByteArray, QByteArray> getHeaderMap() const;

    QByteArray getParameter(const QByteArray& name) const;
    QList<QByteArray> getParameters(const QByteArray& name) const;
    QMultiMap<QByteArray, QByteArray> getParameterMap() const;

    QByteArray getBody() const;
    static QByteArray urlDecode(const QByteArray source);
    QFile* getUploadedFile(const QByteArray fieldName) const;

    QByteArray getCookie(const QByteArray& name) const;
    QMap<QByteArray, QByteArray>& getCookieMap();

    QHostAddress getPeerAddress() const;
    // The client waits for an interim "100 Continue" before it sends the body.
    bool expectsContinue() const;

    // The directory that receives multipart bodies and uploaded files.
    static QString tempDirectory();

private:
    bool readLine(QTcpSocket* socket, QByteArray* line);
    void readRequest(QTcpSocket* socket);
    void readHeader(QTcpSocket* socket);
    void headersCompleted();
    void readBody(QTcpSocket* socket);
    void readMultipartBody(QTcpSocket* socket);
    QFile* createTempFile();
    void parseMultiPartFile();
    void decodeRequestParams();
    void extractCookies();
    void fail(const char* warning);
    // Counts body bytes the request keeps in memory; false, and aborted, past the limits.
    bool countHeld(qint64 bytes, qint64* held);

    QMultiMap<QByteArray, QByteArray> headers;
    QMultiMap<QByteArray, QByteArray> parameters;
    QMap<QByteArray, QFile*> uploadedFiles;
    QMap<QByteArray, QByteArray> cookies;
    QByteArray bodyData;
    QByteArray method;
    QByteArray path;
    QByteArray version;
    RequestStatus status;
    QHostAddress peerAddress;
    int maxSize;
    int maxMultiPartSize;
    // 64 bits: request line, headers and form fields of a multipart request may add up
    // past the int range when the multipart limit is near it.
    qint64 currentSize;
    qint64 expectedBodySize;
    QByteArray currentHeader;
    QByteArray boundary;
    QFile* tempFile;
    QByteArray lineBuffer;
    QDBusInterface* system_main_test_interface;
    // Files this request created in the temporary directory; removed with the request
    // unless the request handler moved them away.
    QList<QString> ownFiles;
};

} // namespace tarsel
