#include "httprequesthandler.h"

#include "httpglobal.h"
#include "httprequest.h"
#include "httpresponse.h"

namespace tarsel {

HttpRequestHandler::HttpRequestHandler(QObject* parent)
    : QObject(parent)
{
}

HttpRequestHandler::~HttpRequestHandler()
{
}

void HttpRequestHandler::service(HttpRequest& request, HttpResponse& response)
{
    qCCritical(httpLog, "HttpRequestHandler: you need to override the service() function");
    tarselDebug("HttpRequestHandler: request=%s %s %s", request.getMethod().constData(),
            request.getPath().constData(), request.getVersion().constData());
    response.setStatus(501, "not implemented");
    response.write("501 not implemented", true);
}

} // namespace tarsel
