#pragma once

#include <QLoggingCategory>
#include <QtGlobal>

class QSettings;
class QString;
class QTcpSocket;
class QVariant;

namespace tarsel {

// Socket descriptors that cross from the listener's thread to a handler's thread.
typedef qintptr tSocketDescriptor;

// Every line of the HTTP server goes through this category, so that
// QT_LOGGING_RULES="tarsel.httpserver.debug=false" turns the per-request lines off;
// a filtered-off line costs one flag test and formats nothing.
Q_DECLARE_LOGGING_CATEGORY(httpLog)

// A printf-style debug line of the server through the log writer, formatted only when the
// category lets it through, and then by the C library into a buffer on the stack (a third of
// the cost of QString's own printf, which the busiest lines would pay per request).
#define tarselDebug(...)                                                                                     \
    do {                                                                                                     \
        if (tarsel::httpLog().isDebugEnabled())                                                              \
            tarsel::writeDebugLine(__VA_ARGS__);                                                             \
    } while (false)

void writeDebugLine(const char* format, ...) Q_ATTRIBUTE_FORMAT_PRINTF(1, 2);

// A refused client may take this long to read the answer and close its side; what it sends
// meanwhile is read and dropped, so closing never resets the connection under the answer.
const int DRAIN_MS = 2000;

// Bytes of a connection's socket not yet handed to the kernel, encrypted ones included.
qint64 pendingBytes(const QTcpSocket* socket);

// Version text of the HTTP server module.
const char* getHttpServerVersion();

// Reads one key of the shared settings object. QSettings is not documented as safe for
// concurrent use of one object, so every read of the server goes through one lock.
QVariant readSetting(const QSettings* settings, const QString& key, const QVariant& defaultValue);

} // namespace tarsel
