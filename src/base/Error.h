#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace tavrin {

// Every failure the user may read carries its French message; stores catch these at their
// boundary and show the text.
class Error : public std::exception {
public:
    explicit Error(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A JSON document that does not have the shape its reader requires.
class DecodingError : public Error {
public:
    using Error::Error;
};

} // namespace tavrin
