#include "httprequest.h"

#include "devicepath.h"
#include "httpcookie.h"
#include "httpglobal.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusPendingCall>
#include <QFile>
#include <QSettings>
#include <QTcpSocket>
#include <QVariant>

#include <climits>
#include <cstring>
#include <utility>

namespace tarsel {

namespace {
// The request line as logged: a password parameter's value never reaches the log.
QByteArray withoutSecrets(const QByteArray& line)
{
    QByteArray logged = line;
    int at = 0;
    while ((at = logged.indexOf("password=", at)) >= 0) {
        at += 9;
        int end = at;
        while (end < logged.size() && logged.at(end) != '&' && logged.at(end) != ' ' && logged.at(end) != '#')
            ++end;
        logged.replace(at, end - at, "***");
        at += 3;
    }
    return logged;
}
} // namespace

namespace {

const char TEMP_DIRECTORY[] = "/data/home/user/com.orvana.zelvikSupport/temp";
// Multipart bodies reach the disk in pieces of at most this size.
const qint64 MULTIPART_PIECE = 65536;
// Header lines of a multipart part are read with at most this many bytes.
const int MULTIPART_LINE = 65536;
// The body file is scanned for boundaries in blocks of this size.
const int SCAN_BLOCK = 1 << 20;

// Parts of one multipart body: each uploaded file holds a descriptor until the request ends.
const int MAX_MULTIPART_PARTS = 256;

// Request and header lines are read from the socket in pieces of this size.
const int LINE_CHUNK = 4096;

const QByteArray CONTENT_TYPE = QByteArrayLiteral("content-type");

// Header names are stored in lower case; most callers already ask in lower case.
QByteArray lowerCase(const QByteArray& name)
{
    for (const char c : name) {
        if (c >= 'A' && c <= 'Z')
            return name.toLower();
    }
    return name;
}

// Distinguishes temporary files created within one millisecond.
QAtomicInteger<quint32> tempFileCounter;

// A plain decimal number within the int range: digits only, no sign, no spaces.
bool parseContentLength(const QByteArray& text, qint64* value)
{
    if (text.isEmpty() || text.size() > 10)
        return false;
    qint64 result = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + (c - '0');
    }
    if (result > INT_MAX)
        return false;
    *value = result;
    return true;
}

// Whitespace in a header name hides the header from every check by name.
bool containsWhitespace(const QByteArray& text)
{
    for (const char c : text) {
        if (c == ' ' || (c >= '\t' && c <= '\r'))
            return true;
    }
    return false;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The text between the double quotes that follow `key`, or empty.
QByteArray quotedAfter(const QByteArray& line, const char* key)
{
    const int start = line.indexOf(key);
    if (start < 0)
        return QByteArray();
    const int open = start + int(strlen(key));
    if (open >= line.size() || line.at(open) != '"')
        return QByteArray();
    const int close = line.indexOf('"', open + 1);
    if (close < 0)
        return QByteArray();
    return line.mid(open + 1, close - open - 1);
}

// Buffered sequential reading of the multipart body file.
struct BodyReader
{
    QFile* file;
    QByteArray buffer;
    int pos = 0;
    bool eof = false;

    int available() const { return buffer.size() - pos; }
    const char* data() const { return buffer.constData() + pos; }

    // Appends the next block of the file; false at its end or on an error.
    bool more()
    {
        if (eof)
            return false;
        if (pos > 0) {
            buffer.remove(0, pos);
            pos = 0;
        }
        // A block of at most what is left: a small body needs no block of full size.
        const int block = int(qBound<qint64>(1, file->size() - file->pos(), SCAN_BLOCK));
        const int old = buffer.size();
        buffer.resize(old + block);
        const qint64 got = file->read(buffer.data() + old, block);
        buffer.resize(old + int(qMax<qint64>(got, 0)));
        if (got <= 0)
            eof = true;
        return got > 0;
    }

    // A line with its line feed, of at most `max` bytes; empty at the end of the file.
    QByteArray readLine(int max)
    {
        for (;;) {
            const int limit = qMin(available(), max);
            const char* nl = static_cast<const char*>(memchr(data(), '\n', size_t(limit)));
            if (nl || available() >= max || !more()) {
                const int length = nl ? int(nl - data()) + 1 : qMin(available(), max);
                const QByteArray line(data(), length);
                pos += length;
                return line;
            }
        }
    }
};

} // namespace

HttpRequest::HttpRequest(const QSettings* settings)
    : HttpRequest(readSetting(settings, QStringLiteral("maxRequestSize"), 16000).toInt(),
                  readSetting(settings, QStringLiteral("maxMultiPartSize"), 1000000).toInt())
{
}

HttpRequest::HttpRequest(int maxRequestSize, int maxMultiPartSize)
    : status(waitForRequest), maxSize(maxRequestSize), maxMultiPartSize(maxMultiPartSize), currentSize(0),
      expectedBodySize(0), tempFile(nullptr), system_main_test_interface(nullptr)
{
}

HttpRequest::~HttpRequest()
{
    for (QFile* file : qAsConst(uploadedFiles)) {
        if (file->isOpen())
            file->close();
        delete file;
    }
    if (tempFile) {
        if (tempFile->isOpen())
            tempFile->close();
        delete tempFile;
    }
    // Whatever the request handler did not move away, and the body of an upload that
    // never completed, would otherwise pile up in the temporary directory.
    for (const QString& name : qAsConst(ownFiles))
        QFile::remove(name);
    delete system_main_test_interface;
}

QString HttpRequest::tempDirectory()
{
    return ORVANA::devicePath(QString::fromLatin1(TEMP_DIRECTORY));
}

void HttpRequest::fail(const char* warning)
{
    qCWarning(httpLog, "%s", warning);
    status = abort;
}

bool HttpRequest::readLine(QTcpSocket* socket, QByteArray* line)
{
    // Never read past the size limit, so a single endless line cannot grow the buffer.
    char chunk[LINE_CHUNK];
    for (qint64 room = qint64(maxSize) - currentSize + 1; room > 0; room = qint64(maxSize) - currentSize + 1) {
        const qint64 got = socket->readLine(chunk, qMin<qint64>(room + 1, LINE_CHUNK));
        if (got <= 0)
            break;
        currentSize += got;
        lineBuffer.append(chunk, int(got));
        if (chunk[got - 1] == '\n')
            break;
    }
    if (!lineBuffer.endsWith("\r\n")) {
        tarselDebug("HttpRequest: collecting more parts until line break");
        return false;
    }
    *line = std::move(lineBuffer).trimmed();
    lineBuffer = QByteArray();
    return true;
}

void HttpRequest::readRequest(QTcpSocket* socket)
{
    tarselDebug("HttpRequest: read request");
    QByteArray line;
    if (!readLine(socket, &line) || line.isEmpty())
        return;
    tarselDebug("HttpRequest: from %s: %s", qPrintable(socket->peerAddress().toString()),
            withoutSecrets(line).constData());
    // Exactly three words, separated by single spaces.
    const int pathAt = line.indexOf(' ') + 1;
    const int versionAt = pathAt > 0 ? line.indexOf(' ', pathAt) + 1 : 0;
    if (versionAt <= 0 || line.indexOf(' ', versionAt) >= 0 || line.indexOf("HTTP", versionAt) < 0) {
        fail("HttpRequest: received broken HTTP request, invalid first line");
        return;
    }
    method = line.left(pathAt - 1).trimmed();
    path = line.mid(pathAt, versionAt - pathAt - 1);
    version = line.mid(versionAt);
    peerAddress = socket->peerAddress();
    status = waitForHeader;
}

void HttpRequest::readHeader(QTcpSocket* socket)
{
    QByteArray line;
    if (!readLine(socket, &line))
        return;
    const int colon = line.indexOf(':');
    if (colon > 0 && containsWhitespace(line.left(colon))) {
        fail("HttpRequest: received invalid header name");
    } else if (colon > 0) {
        currentHeader = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        headers.insert(currentHeader, value);
        tarselDebug("HttpRequest: received header %s: %s", currentHeader.constData(), value.constData());
    } else if (!line.isEmpty()) {
        tarselDebug("HttpRequest: read additional line of header");
        if (headers.contains(currentHeader)) {
            const QByteArray joined = headers.value(currentHeader) + ' ' + line;
            // The joined copy is kept beside the earlier value: count the copy against
            // the size limit, or a flood of short continuation lines grows quadratically.
            currentSize += joined.size() - line.size();
            headers.insert(currentHeader, joined);
        }
    } else {
        headersCompleted();
    }
}

void HttpRequest::headersCompleted()
{
    tarselDebug("HttpRequest: headers completed");

    const QByteArray contentType = headers.value(CONTENT_TYPE);
    const int boundaryAt = contentType.indexOf("boundary=");
    if (contentType.startsWith("multipart/form-data") && boundaryAt >= 0) {
        boundary = contentType.mid(boundaryAt + 9);
        if (boundary.size() >= 2 && boundary.startsWith('"') && boundary.endsWith('"'))
            boundary = boundary.mid(1, boundary.size() - 2);
    }

    // A body whose length is unclear would be read as the next request on the connection.
    if (headers.contains(QByteArrayLiteral("transfer-encoding"))) {
        fail("HttpRequest: transfer-encoding is not supported");
        return;
    }
    const QList<QByteArray> lengths = headers.values(QByteArrayLiteral("content-length"));
    for (int i = 0; i < lengths.size(); ++i) {
        qint64 length = 0;
        if (!parseContentLength(lengths.at(i), &length) || (i > 0 && length != expectedBodySize)) {
            fail("HttpRequest: received invalid content-length");
            return;
        }
        expectedBodySize = length;
    }

    if (expectedBodySize == 0) {
        tarselDebug("HttpRequest: expect no body");
        status = complete;
    } else if (boundary.isEmpty() && expectedBodySize + currentSize > maxSize) {
        fail("HttpRequest: expected body is too large");
    } else if (!boundary.isEmpty() && expectedBodySize > maxMultiPartSize) {
        fail("HttpRequest: expected multipart body is too large");
    } else {
        tarselDebug("HttpRequest: expect %lli bytes body", expectedBodySize);
        status = waitForBody;
    }
}

void HttpRequest::readBody(QTcpSocket* socket)
{
    if (!boundary.isEmpty()) {
        readMultipartBody(socket);
        return;
    }
    tarselDebug("HttpRequest: receive body");
    const QByteArray newData = socket->read(expectedBodySize - bodyData.size());
    currentSize += newData.size();
    bodyData.append(newData);
    if (bodyData.size() >= expectedBodySize)
        status = complete;
}

QFile* HttpRequest::createTempFile()
{
    const QString prefix = tempDirectory() + QStringLiteral("/.");
    // The millisecond clock alone repeats within a millisecond and across threads.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString name = prefix + QString::number(QDateTime::currentMSecsSinceEpoch()) + QLatin1Char('-')
                             + QString::number(tempFileCounter.fetchAndAddRelaxed(1));
        QFile* file = new QFile(name);
        if (file->open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            ownFiles.append(name);
            return file;
        }
        const bool exists = file->error() == QFileDevice::OpenError && QFile::exists(name);
        qCCritical(httpLog, "HttpRequest: cannot create temp file %s: %s", qPrintable(name),
                   qPrintable(file->errorString()));
        delete file;
        if (!exists)
            break;
    }
    return nullptr;
}

void HttpRequest::readMultipartBody(QTcpSocket* socket)
{
    tarselDebug("HttpRequest: receiving multipart body");
    if (!tempFile) {
        if (!system_main_test_interface)
            system_main_test_interface = new QDBusInterface(SYSTEM_MAIN_SERVICE, SYSTEM_MAIN_PATH,
                                                            SYSTEM_MAIN_ZVK_INTERFACE, QDBusConnection::systemBus());
        // The compositor creates the directory with its own rights; its answer does not
        // matter, the file creation below tells whether the directory is there.
        // Not a QDBus::Block call: that writes the connection's lastError without a lock.
        system_main_test_interface->asyncCall(QStringLiteral("mkdir"), tempDirectory()).waitForFinished();
        tempFile = createTempFile();
        if (!tempFile) {
            // Reading the rest of the body into nowhere would only end in a read timeout.
            fail("HttpRequest: cannot store multipart body");
            return;
        }
    }

    const QByteArray piece = socket->read(qMin(expectedBodySize - tempFile->pos(), MULTIPART_PIECE));
    if (tempFile->write(piece) != piece.size()) {
        qCCritical(httpLog, "HttpRequest: Error writing temp file for multipart body");
        status = abort;
        return;
    }
    const qint64 size = tempFile->pos();
    if (size >= maxMultiPartSize) {
        fail("HttpRequest: received too many multipart bytes");
    } else if (size >= expectedBodySize) {
        tarselDebug("HttpRequest: received whole multipart body");
        if (!tempFile->flush() || tempFile->error() != QFileDevice::NoError) {
            qCCritical(httpLog, "HttpRequest: Error writing temp file for multipart body");
            status = abort;
            return;
        }
        parseMultiPartFile();
        tempFile->close();
        if (status != abort)
            status = complete;
    }
}

bool HttpRequest::countHeld(qint64 bytes, qint64* held)
{
    *held += bytes;
    currentSize += bytes;
    if (*held <= maxSize && currentSize <= maxMultiPartSize)
        return true;
    fail("HttpRequest: received too many bytes");
    return false;
}

void HttpRequest::parseMultiPartFile()
{
    tarselDebug("HttpRequest: parsing multipart temp file");
    tempFile->seek(0);
    BodyReader reader{tempFile};
    const QByteArray delimiter = "--" + boundary;
    const QByteArray lineDelimiter = '\n' + delimiter;
    // Part headers (names included) and form fields: what the request keeps in memory.
    qint64 heldBytes = 0;
    int parts = 0;
    bool finished = false;

    while (!finished && status != abort) {
        tarselDebug("HttpRequest: reading multpart headers");
        QByteArray fieldName;
        QByteArray fileName;
        bool headersDone = false;
        while (!headersDone) {
            const QByteArray raw = reader.readLine(MULTIPART_LINE);
            if (raw.isEmpty() || !countHeld(raw.size(), &heldBytes))
                break;
            const QByteArray line = raw.trimmed();
            if (line.startsWith("Content-Disposition:")) {
                if (line.contains("form-data")) {
                    fieldName = quotedAfter(line, " name=");
                    fileName = quotedAfter(line, " filename=");
                    tarselDebug("HttpRequest: multipart field=%s, filename=%s", fieldName.constData(),
                            fileName.constData());
                } else {
                    tarselDebug("HttpRequest: ignoring unsupported content part %s", line.constData());
                }
            } else if (line.isEmpty()) {
                headersDone = true;
            }
        }
        if (!headersDone)
            break;
        if (++parts > MAX_MULTIPART_PARTS) {
            fail("HttpRequest: too many multipart parts");
            break;
        }

        // The data of the part runs up to the next line that starts with the delimiter;
        // only real line starts count, however long a line of the data is.
        tarselDebug("HttpRequest: reading multpart data");
        const bool isFile = !fieldName.isEmpty() && !fileName.isEmpty();
        QByteArray fieldValue;
        QFile* uploadFile = nullptr;
        bool writeFailed = false;
        QByteArray tail;
        auto emitData = [&](const char* data, int length) {
            if (length <= 0)
                return;
            tail = length >= 2 ? QByteArray(data + length - 2, 2) : (tail + QByteArray(data, length)).right(2);
            if (fieldName.isEmpty())
                return;
            if (!isFile) {
                // Form fields are held in memory: bound them like any other request.
                if (countHeld(length, &heldBytes))
                    fieldValue.append(data, length);
                return;
            }
            if (!uploadFile && !writeFailed) {
                uploadFile = createTempFile();
                writeFailed = !uploadFile;
            }
            if (uploadFile && !writeFailed && uploadFile->write(data, length) != length) {
                qCCritical(httpLog, "HttpRequest: error writing temp file, %s", qPrintable(uploadFile->errorString()));
                writeFailed = true;
            }
        };

        bool found = false;
        while (!found && status != abort) {
            if (reader.available() < delimiter.size() + 1 && reader.more())
                continue;
            if (fieldValue.isEmpty() && !uploadFile && tail.isEmpty() && reader.available() >= delimiter.size()
                && memcmp(reader.data(), delimiter.constData(), size_t(delimiter.size())) == 0) {
                found = true;
                break;
            }
            const void* hit = memmem(reader.data(), size_t(reader.available()), lineDelimiter.constData(),
                                     size_t(lineDelimiter.size()));
            if (hit) {
                const int length = int(static_cast<const char*>(hit) - reader.data()) + 1;
                emitData(reader.data(), length);
                reader.pos += length;
                found = true;
            } else if (reader.eof) {
                emitData(reader.data(), reader.available());
                reader.pos = reader.buffer.size();
                break;
            } else {
                const int safe = reader.available() - (lineDelimiter.size() - 1);
                emitData(reader.data(), safe);
                reader.pos += qMax(safe, 0);
                reader.more();
            }
        }

        if (found && status != abort) {
            // The line break before the delimiter belongs to the delimiter.
            const int lineBreak = tail.endsWith("\r\n") ? 2 : tail.endsWith('\n') ? 1 : 0;
            if (isFile && uploadFile && !writeFailed) {
                tarselDebug("HttpRequest: finishing writing to uploaded file");
                const qint64 size = uploadFile->size() - lineBreak;
                if (!uploadFile->resize(size) || !uploadFile->flush()) {
                    qCCritical(httpLog, "HttpRequest: error writing temp file, %s", qPrintable(uploadFile->errorString()));
                } else {
                    uploadFile->seek(0);
                    parameters.insert(fieldName, fileName);
                    tarselDebug("HttpRequest: set parameter %s=%s", fieldName.constData(), fileName.constData());
                    delete uploadedFiles.value(fieldName);
                    uploadedFiles.insert(fieldName, uploadFile);
                    tarselDebug("HttpRequest: uploaded file size is %lli", size);
                    uploadFile = nullptr;
                }
            } else if (isFile && !uploadFile && !writeFailed) {
                qCWarning(httpLog, "HttpRequest: format error, unexpected end of file data");
            } else if (!fieldName.isEmpty() && !isFile) {
                fieldValue.chop(lineBreak);
                parameters.insert(fieldName, fieldValue);
                tarselDebug("HttpRequest: set parameter %s=%s", fieldName.constData(), fieldValue.constData());
            }
            const QByteArray delimiterLine = reader.readLine(MULTIPART_LINE);
            finished = delimiterLine.contains(delimiter + "--") || !countHeld(delimiterLine.size(), &heldBytes);
        }
        // A file field that was not completed by a delimiter is not handed on.
        delete uploadFile;
        if (!found)
            break;
    }

    if (tempFile->error() != QFileDevice::NoError)
        qCCritical(httpLog, "HttpRequest: cannot read temp file, %s", qPrintable(tempFile->errorString()));
    tarselDebug("HttpRequest: finished parsing multipart temp file");
    tempFile->remove();
}

void HttpRequest::decodeRequestParams()
{
    tarselDebug("HttpRequest: extract and decode request parameters");
    QByteArray rawParameters;
    const int questionMark = path.indexOf('?');
    if (questionMark >= 0) {
        rawParameters = path.mid(questionMark + 1);
        path = path.left(questionMark);
    }
    if (!bodyData.isEmpty()) {
        const QByteArray contentType = headers.value(CONTENT_TYPE);
        if (contentType.isEmpty() || contentType.startsWith("application/x-www-form-urlencoded")) {
            if (!rawParameters.isEmpty())
                rawParameters.append('&');
            rawParameters.append(bodyData);
        }
    }
    if (rawParameters.isEmpty())
        return;
    const QList<QByteArray> list = rawParameters.split('&');
    for (const QByteArray& part : list) {
        const int equalsChar = part.indexOf('=');
        if (equalsChar >= 0) {
            const QByteArray name = part.left(equalsChar).trimmed();
            const QByteArray value = part.mid(equalsChar + 1).trimmed();
            parameters.insert(urlDecode(name), urlDecode(value));
        } else if (!part.isEmpty()) {
            parameters.insert(urlDecode(part), QByteArray());
        }
    }
}

void HttpRequest::extractCookies()
{
    const QByteArray cookieHeader = QByteArrayLiteral("cookie");
    if (!headers.contains(cookieHeader))
        return;
    tarselDebug("HttpRequest: extract cookies");
    const QList<QByteArray> values = headers.values(cookieHeader);
    for (const QByteArray& cookieStr : values) {
        const QList<QByteArray> list = HttpCookie::splitCSV(cookieStr);
        for (const QByteArray& part : list) {
            tarselDebug("HttpRequest: found cookie %s", part.constData());
            const int posi = part.indexOf('=');
            if (posi > 0)
                cookies.insert(part.left(posi).trimmed(), part.mid(posi + 1).trimmed());
            else
                cookies.insert(part.trimmed(), QByteArray());
        }
    }
    headers.remove(cookieHeader);
}

void HttpRequest::readFromSocket(QTcpSocket* socket)
{
    Q_ASSERT_X(status != complete, "HttpRequest::readFromSocket", "status!=complete");
    switch (status) {
    case waitForRequest:
        readRequest(socket);
        break;
    case waitForHeader:
        readHeader(socket);
        break;
    case waitForBody:
        readBody(socket);
        break;
    default:
        return;
    }
    if (status != abort && currentSize > (boundary.isEmpty() ? qint64(maxSize) : qint64(maxMultiPartSize)))
        fail("HttpRequest: received too many bytes");
    if (status == complete) {
        decodeRequestParams();
        extractCookies();
    }
}

HttpRequest::RequestStatus HttpRequest::getStatus() const { return status; }
QByteArray HttpRequest::getMethod() const { return method; }
QByteArray HttpRequest::getPath() const { return urlDecode(path); }
QByteArray HttpRequest::getRawPath() const { return path; }
QByteArray HttpRequest::getVersion() const { return version; }
QByteArray HttpRequest::getHeader(const QByteArray& name) const { return headers.value(lowerCase(name)); }
QList<QByteArray> HttpRequest::getHeaders(const QByteArray& name) const { return headers.values(lowerCase(name)); }
QMultiMap<QByteArray, QByteArray> HttpRequest::getHeaderMap() const { return headers; }
QByteArray HttpRequest::getParameter(const QByteArray& name) const { return parameters.value(name); }
QList<QByteArray> HttpRequest::getParameters(const QByteArray& name) const { return parameters.values(name); }
QMultiMap<QByteArray, QByteArray> HttpRequest::getParameterMap() const { return parameters; }
QByteArray HttpRequest::getBody() const { return bodyData; }
QFile* HttpRequest::getUploadedFile(const QByteArray fieldName) const { return uploadedFiles.value(fieldName); }
QByteArray HttpRequest::getCookie(const QByteArray& name) const { return cookies.value(name); }
QMap<QByteArray, QByteArray>& HttpRequest::getCookieMap() { return cookies; }
QHostAddress HttpRequest::getPeerAddress() const { return peerAddress; }

bool HttpRequest::expectsContinue() const
{
    // An HTTP/1.0 client knows no interim answers.
    return qstricmp(getHeader(QByteArrayLiteral("expect")).constData(), "100-continue") == 0
           && qstricmp(version.constData(), "HTTP/1.0") != 0;
}

QByteArray HttpRequest::urlDecode(const QByteArray source)
{
    QByteArray buffer(source);
    buffer.replace('+', ' ');
    int percentChar = buffer.indexOf('%');
    while (percentChar >= 0) {
        if (percentChar + 2 < buffer.size()) {
            const int high = hexDigit(buffer.at(percentChar + 1));
            const int low = hexDigit(buffer.at(percentChar + 2));
            if (high >= 0 && low >= 0)
                buffer.replace(percentChar, 3, QByteArray(1, char(high * 16 + low)));
        }
        percentChar = buffer.indexOf('%', percentChar + 1);
    }
    return buffer;
}

} // namespace tarsel
