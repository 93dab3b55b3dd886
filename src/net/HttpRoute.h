#pragma once

// Reading request targets: path segments, percent-decoding, strict indexes and form bodies.
// Nothing here touches the disk; a service maps the pieces to what it offers.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace tavrin::http {

// "/a/b/" -> {"", "a", "b", ""}: the raw, still encoded segments.
QList<QByteArray> segments(const QByteArray& target);
// Percent-decoding; with `plusIsSpace`, as form bodies and queries encode spaces.
QString decode(const QByteArray& text, bool plusIsSpace = false);
// "a=1&b=x+y" -> {{"a","1"},{"b","x y"}}.
QList<QPair<QString, QString>> parseQuery(const QByteArray& query);
// A decimal index below `count`, without sign, leading zeros or overflow; -1 otherwise.
int parseIndex(const QByteArray& text, int count);
bool constantTimeEqual(const QByteArray& a, const QByteArray& b);

} // namespace tavrin::http
