#pragma once

#include <QByteArray>
#include <QList>

namespace tarsel {

// A cookie as sent in a "Set-Cookie" header.
class HttpCookie
{
public:
    HttpCookie();
    HttpCookie(QByteArray name, QByteArray value, int maxAge, QByteArray path = QByteArray(),
               QByteArray comment = QByteArray(), QByteArray domain = QByteArray(),
               bool secure = false, bool httpOnly = false, QByteArray sameSite = QByteArray());
    // Parses a cookie in the "Set-Cookie" form.
    explicit HttpCookie(QByteArray source);

    QByteArray toByteArray() const;

    // Splits a semicolon separated list; double quotes protect semicolons and are removed.
    static QList<QByteArray> splitCSV(QByteArray source);

    void setName(QByteArray name);
    void setValue(QByteArray value);
    void setComment(QByteArray comment);
    void setDomain(QByteArray domain);
    void setMaxAge(int maxAge);
    void setPath(QByteArray path);
    void setSecure(bool secure);
    void setHttpOnly(bool httpOnly);
    void setSameSite(QByteArray sameSite);

    QByteArray getName() const;
    QByteArray getValue() const;
    QByteArray getComment() const;
    QByteArray getDomain() const;
    int getMaxAge() const;
    QByteArray getPath() const;
    bool getSecure() const;
    bool getHttpOnly() const;
    QByteArray getSameSite() const;
    int getVersion() const;

private:
    QByteArray name;
    QByteArray value;
    QByteArray comment;
    QByteArray domain;
    int maxAge;
    QByteArray path;
    bool secure;
    bool httpOnly;
    QByteArray sameSite;
    int version;
};

} // namespace tarsel
