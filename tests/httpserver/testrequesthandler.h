#pragma once

#include "httprequesthandler.h"

#include <QAtomicInteger>

// Answers by path (/echo tells what the parser made of the request), so one handler serves
// every server test. Any other path gets the base class's answer.
class TestRequestHandler : public tarsel::HttpRequestHandler
{
    Q_OBJECT
public:
    void service(tarsel::HttpRequest& request, tarsel::HttpResponse& response) override;

    // Requests served so far, from every handler thread.
    QAtomicInteger<int> served;
    static QByteArray pattern(int size);
};
