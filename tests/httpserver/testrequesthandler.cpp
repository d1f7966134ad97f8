#include "testrequesthandler.h"

#include "httprequest.h"
#include "httpresponse.h"

#include <QCryptographicHash>
#include <QFile>

#include <stdexcept>

using tarsel::HttpRequest;
using tarsel::HttpResponse;

QByteArray TestRequestHandler::pattern(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char('a' + (i * 7 + i / 26) % 26);
    return data;
}

void TestRequestHandler::service(HttpRequest& request, HttpResponse& response)
{
    served.fetchAndAddRelaxed(1);
    const QByteArray path = request.getPath();
    if (path == "/echo") {
        QByteArray text = request.getMethod() + ' ' + request.getRawPath() + ' ' + request.getVersion() + '\n';
        const QMultiMap<QByteArray, QByteArray> maps[] = {request.getParameterMap(), request.getHeaderMap()};
        for (int i = 0; i < 2; ++i)
            for (auto it = maps[i].constBegin(); it != maps[i].constEnd(); ++it)
                text += (i ? "header " : "param ") + it.key() + '=' + it.value() + '\n';
        text += "body " + request.getBody();
        response.setHeader("Content-Type", "text/plain");
        response.write(text, true);
    } else if (path == "/fixed") {
        response.write("hello", true);
    } else if (path == "/respond") {
        // Headers "h=Name:Value", then parts "p=text" ("*N": N bytes of the pattern); the last
        // part is written as the last. The lists have the last given first.
        const QList<QByteArray> headers = request.getParameters("h"), parts = request.getParameters("p");
        for (int i = headers.size() - 1; i >= 0; --i)
            response.setHeader(headers[i].left(headers[i].indexOf(':')), headers[i].mid(headers[i].indexOf(':') + 1));
        for (int i = parts.size() - 1; i >= 0; --i)
            response.write(parts[i].startsWith('*') ? pattern(parts[i].mid(1).toInt()) : parts[i], i == 0);
    } else if (path == "/nothing") {
    } else if (path == "/throw") {
        response.setHeader("X-Before", "1");
        throw std::runtime_error("failing request handler");
    } else if (path == "/upload") {
        QByteArray text;
        const QList<QByteArray> names = request.getParameterMap().uniqueKeys();
        for (const QByteArray& name : names) {
            QFile* file = request.getUploadedFile(name);
            if (!file)
                continue;
            QCryptographicHash hash(QCryptographicHash::Sha256);
            hash.addData(file);
            text += name + ' ' + QByteArray::number(file->size()) + ' ' + hash.result().toHex() + '\n';
        }
        response.write(text, true);
    } else if (path == "/big") {
        response.write(pattern(request.getParameter("n").toInt()), true);
    } else {
        tarsel::HttpRequestHandler::service(request, response);
    }
}
