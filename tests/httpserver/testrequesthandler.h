#pragma once

#include "httprequesthandler.h"

#include <QAtomicInteger>

// Answers by path, so one handler serves every server test:
//   /echo      method, raw path, version, parameters, headers and body as text lines
//   /fixed     "hello" in one part
//   /chunks    "part1", "part2" and "end" in three writes
//   /close     sets "Connection: close" and writes "bye" in two parts
//   /nothing   writes nothing
//   /throw     throws after setting a header
//   /upload    for every uploaded file: field name, size and SHA-256 of its content
//   /big?n=N   N bytes of a fixed pattern in one part
// Any other path gets the base class's answer.
class TestRequestHandler : public tarsel::HttpRequestHandler
{
    Q_OBJECT
public:
    explicit TestRequestHandler(QObject* parent = nullptr);
    void service(tarsel::HttpRequest& request, tarsel::HttpResponse& response) override;

    // Requests served so far, from every handler thread.
    QAtomicInteger<int> served;
    static QByteArray pattern(int size);
};
