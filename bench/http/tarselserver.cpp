// The HTTP server module with a request handler that gives a fixed one-byte answer, and
// the size of uploaded files for "/upload".
#include "httplistener.h"
#include "httprequest.h"
#include "httprequesthandler.h"
#include "httpresponse.h"
#include "logwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

class FixedAnswer : public tarsel::HttpRequestHandler
{
public:
    void service(tarsel::HttpRequest& request, tarsel::HttpResponse& response) override
    {
        if (request.getMethod() == "POST") {
            QFile* file = request.getUploadedFile("file");
            response.write(QByteArray::number(file ? file->size() : -1), true);
            return;
        }
        response.write("x", true);
    }
};

int main(int argc, char** argv)
{
    // Log lines as the agent writes them: as written, from a writer thread.
    qSetMessagePattern(QStringLiteral("%{message}"));
    tarsel::LogWriter::install();
    QCoreApplication application(argc, argv);
    if (argc < 2)
        return 2;
    QTemporaryDir settingsDir;
    QSettings settings(settingsDir.filePath("settings.ini"), QSettings::IniFormat);
    settings.setValue("host", "127.0.0.1");
    settings.setValue("port", QString::fromLatin1(argv[1]).toInt());
    settings.setValue("minThreads", 4);
    settings.setValue("maxThreads", 100);
    settings.setValue("cleanupInterval", 60000);
    settings.setValue("readTimeout", 60000);
    settings.setValue("maxRequestSize", 16000);
    settings.setValue("maxMultiPartSize", 2147483647);
    QDir().mkpath(tarsel::HttpRequest::tempDirectory());
    FixedAnswer handler;
    tarsel::HttpListener listener(&settings, &handler);
    return listener.isListening() ? application.exec() : 1;
}
