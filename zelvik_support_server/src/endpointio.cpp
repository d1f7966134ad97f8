#include "endpointio.h"

#include <httprequest.h>
#include <httpresponse.h>

#include <cmath>
#include <limits>

int EndpointIo::intParam(const tarsel::HttpRequest& request, const char* name)
{
    return request.getParameter(name).toInt(nullptr, 10);
}

qint64 EndpointIo::longParam(const tarsel::HttpRequest& request, const char* name)
{
    return request.getParameter(name).toLongLong(nullptr, 10);
}

double EndpointIo::doubleParam(const tarsel::HttpRequest& request, const char* name)
{
    return request.getParameter(name).toDouble();
}

int EndpointIo::truncatedParam(const tarsel::HttpRequest& request, const char* name)
{
    return clampedInt(doubleParam(request, name));
}

// The plain conversion of a double outside the int range, or of NaN, is undefined.
int EndpointIo::clampedInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    if (value >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return static_cast<int>(value);
}

QString EndpointIo::textParam(const tarsel::HttpRequest& request, const char* name)
{
    return QString::fromUtf8(request.getParameter(name));
}

void EndpointIo::setTextType(tarsel::HttpResponse& response)
{
    response.setHeader("Content-Type", "text/plain; charset=UTF-8");
}

void EndpointIo::writeBody(tarsel::HttpResponse& response, const QByteArray& body)
{
    setTextType(response);
    response.write(body, true);
}

void EndpointIo::writeNumber(tarsel::HttpResponse& response, qint64 value)
{
    writeBody(response, QByteArray::number(value, 10));
}

void EndpointIo::writeBool(tarsel::HttpResponse& response, bool value)
{
    writeBody(response, value ? QByteArrayLiteral("1") : QByteArrayLiteral("0"));
}
