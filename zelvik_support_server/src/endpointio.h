#pragma once

#include <QByteArray>
#include <QString>

namespace tarsel {
class HttpRequest;
class HttpResponse;
}

// The shapes every endpoint shares: reading a parameter, writing a value as the final part.
class EndpointIo
{
public:
    // Decimal; a missing or unparsable parameter reads as 0.
    static int intParam(const tarsel::HttpRequest& request, const char* name);
    static qint64 longParam(const tarsel::HttpRequest& request, const char* name);
    static double doubleParam(const tarsel::HttpRequest& request, const char* name);
    // A decimal number truncated toward zero to an int, clamped to the int range (NaN reads as 0).
    static int truncatedParam(const tarsel::HttpRequest& request, const char* name);
    static int clampedInt(double value);
    // The raw bytes decoded as UTF-8.
    static QString textParam(const tarsel::HttpRequest& request, const char* name);

    static void setTextType(tarsel::HttpResponse& response);
    // Content type, then the body as the one final part.
    static void writeBody(tarsel::HttpResponse& response, const QByteArray& body);
    static void writeNumber(tarsel::HttpResponse& response, qint64 value);
    static void writeBool(tarsel::HttpResponse& response, bool value);
};
