#pragma once

#include <QObject>

namespace tarsel {

class HttpRequest;
class HttpResponse;

// Base of request handlers. service() is called concurrently from every connection
// handler's thread, each call with its own request and response.
class HttpRequestHandler : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(HttpRequestHandler)
public:
    explicit HttpRequestHandler(QObject* parent = nullptr);
    virtual ~HttpRequestHandler();

    virtual void service(HttpRequest& request, HttpResponse& response);
};

} // namespace tarsel
