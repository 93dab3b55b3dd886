#pragma once

// Character-level reading of typed numbers, shared by photo numbers, assigned numbers and the
// programme readers. "Character" means a user-perceived character (a grapheme cluster): a digit
// with a combining mark, or a digit outside the Basic Multilingual Plane, is one character.

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace tavrin::NumberText {

// The user-perceived characters of a text, in order.
QList<QStringView> characters(QStringView text);

// A character is numeric or a letter by the Unicode general category of its first code point
// (numbers: Nd, Nl, No — 7, ², ½, Arabic-Indic digits; letters: L*).
bool isNumeric(QStringView character);
bool isLetter(QStringView character);

// The whole text is an optional sign and ASCII digits, and fits in 64 bits.
std::optional<qint64> parseInteger(QStringView text);
std::optional<qint64> parseInteger(QByteArrayView text);

// The whole text is a number in strtod's C-locale syntax, without leading white space.
std::optional<double> parseDouble(QStringView text);

// Unicode code-point order, the order of text comparisons in the organizer.
int compareCodePoints(QStringView a, QStringView b);

} // namespace tavrin::NumberText
