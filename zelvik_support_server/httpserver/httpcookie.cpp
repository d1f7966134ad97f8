#include "httpcookie.h"

#include "httpglobal.h"

namespace tarsel {

HttpCookie::HttpCookie()
    : maxAge(0), secure(false), httpOnly(false), version(1)
{
}

HttpCookie::HttpCookie(QByteArray name, QByteArray value, int maxAge, QByteArray path, QByteArray comment,
                       QByteArray domain, bool secure, bool httpOnly, QByteArray sameSite)
    : name(name), value(value), comment(comment), domain(domain), maxAge(maxAge), path(path),
      secure(secure), httpOnly(httpOnly), sameSite(sameSite), version(1)
{
}

HttpCookie::HttpCookie(QByteArray source)
    : HttpCookie()
{
    const QList<QByteArray> pieces = splitCSV(source);
    for (const QByteArray& piece : pieces) {
        const int posi = piece.indexOf('=');
        QByteArray attrName;
        QByteArray attrValue;
        if (posi > 0) {
            attrName = piece.left(posi).trimmed();
            attrValue = piece.mid(posi + 1).trimmed();
        } else {
            attrName = piece.trimmed();
        }
        if (attrName == "Comment")
            comment = attrValue;
        else if (attrName == "Domain")
            domain = attrValue;
        else if (attrName == "Max-Age")
            maxAge = attrValue.toInt();
        else if (attrName == "Path")
            path = attrValue;
        else if (attrName == "Secure")
            secure = true;
        else if (attrName == "HttpOnly")
            httpOnly = true;
        else if (attrName == "SameSite")
            sameSite = attrValue;
        else if (attrName == "Version")
            version = attrValue.toInt();
        else if (name.isEmpty()) {
            name = attrName;
            value = attrValue;
        } else {
            qCWarning(httpLog, "HttpCookie: Ignoring unknown %s=%s", attrName.constData(), attrValue.constData());
        }
    }
}

QByteArray HttpCookie::toByteArray() const
{
    QByteArray buffer(name);
    buffer.append('=').append(value);
    if (!comment.isEmpty())
        buffer.append("; Comment=").append(comment);
    if (!domain.isEmpty())
        buffer.append("; Domain=").append(domain);
    if (maxAge != 0)
        buffer.append("; Max-Age=").append(QByteArray::number(maxAge));
    if (!path.isEmpty())
        buffer.append("; Path=").append(path);
    if (secure)
        buffer.append("; Secure");
    if (httpOnly)
        buffer.append("; HttpOnly");
    if (!sameSite.isEmpty())
        buffer.append("; SameSite=").append(sameSite);
    buffer.append("; Version=").append(QByteArray::number(version));
    return buffer;
}

QList<QByteArray> HttpCookie::splitCSV(QByteArray source)
{
    QList<QByteArray> list;
    QByteArray buffer;
    bool inString = false;
    auto endPiece = [&]() {
        const QByteArray piece = buffer.trimmed();
        if (!piece.isEmpty())
            list.append(piece);
        buffer.clear();
    };
    for (const char c : qAsConst(source)) {
        if (c == '"')
            inString = !inString;
        else if (c == ';' && !inString)
            endPiece();
        else
            buffer.append(c);
    }
    endPiece();
    return list;
}

void HttpCookie::setName(QByteArray name) { this->name = name; }
void HttpCookie::setValue(QByteArray value) { this->value = value; }
void HttpCookie::setComment(QByteArray comment) { this->comment = comment; }
void HttpCookie::setDomain(QByteArray domain) { this->domain = domain; }
void HttpCookie::setMaxAge(int maxAge) { this->maxAge = maxAge; }
void HttpCookie::setPath(QByteArray path) { this->path = path; }
void HttpCookie::setSecure(bool secure) { this->secure = secure; }
void HttpCookie::setHttpOnly(bool httpOnly) { this->httpOnly = httpOnly; }
void HttpCookie::setSameSite(QByteArray sameSite) { this->sameSite = sameSite; }

QByteArray HttpCookie::getName() const { return name; }
QByteArray HttpCookie::getValue() const { return value; }
QByteArray HttpCookie::getComment() const { return comment; }
QByteArray HttpCookie::getDomain() const { return domain; }
int HttpCookie::getMaxAge() const { return maxAge; }
QByteArray HttpCookie::getPath() const { return path; }
bool HttpCookie::getSecure() const { return secure; }
bool HttpCookie::getHttpOnly() const { return httpOnly; }
QByteArray HttpCookie::getSameSite() const { return sameSite; }
int HttpCookie::getVersion() const { return version; }

} // namespace tarsel
