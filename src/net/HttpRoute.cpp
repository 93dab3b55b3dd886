#include "net/HttpRoute.h"
#include "net/HttpMessage.h"

#include <QUrl>

namespace tavrin::http {

QList<QByteArray> segments(const QByteArray& target) { return target.split('/'); }

QString decode(const QByteArray& text, bool plusIsSpace)
{
    QByteArray bytes = text;
    if (plusIsSpace) bytes.replace('+', ' ');
    return QUrl::fromPercentEncoding(bytes);
}

QList<QPair<QString, QString>> parseQuery(const QByteArray& query)
{
    QList<QPair<QString, QString>> out;
    for (const QByteArray& part : query.split('&')) {
        if (part.isEmpty()) continue;
        const qsizetype equals = part.indexOf('=');
        if (equals < 0) out.append({decode(part, true), QString()});
        else out.append({decode(part.left(equals), true), decode(part.mid(equals + 1), true)});
    }
    return out;
}

int parseIndex(const QByteArray& text, int count)
{
    if (text.isEmpty() || text.size() > 6 || (text.size() > 1 && text[0] == '0')) return -1;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value < count ? value : -1;
}

bool constantTimeEqual(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i) diff |= uchar(a[i] ^ b[i]);
    return diff == 0;
}

QString Request::queryValue(const QString& name) const
{
    for (const auto& [key, value] : query)
        if (key == name) return value;
    return {};
}

QStringList Request::formValues(const QString& name) const
{
    QStringList out;
    for (const auto& [key, value] : form)
        if (key == name) out.append(value);
    return out;
}

QString Request::formValue(const QString& name) const { return formValues(name).value(0); }

Response Response::text(int status, const QByteArray& contentType, const QByteArray& body)
{
    Response r;
    r.status = status;
    r.contentType = contentType;
    r.body = body;
    return r;
}

} // namespace tavrin::http
