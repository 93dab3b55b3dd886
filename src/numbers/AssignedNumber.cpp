#include "numbers/AssignedNumber.h"

#include "numbers/NumberText.h"

#include <algorithm>
#include <cmath>

namespace tavrin::AssignedNumber {

using NumberText::characters;

namespace {

// Does the character list end with the characters of `suffix`?
bool endsWithCharacters(const QList<QStringView>& chars, QStringView suffix)
{
    const QList<QStringView> tail = characters(suffix);
    if (tail.size() > chars.size()) return false;
    for (qsizetype i = 0; i < tail.size(); ++i)
        if (chars[chars.size() - tail.size() + i] != tail[i]) return false;
    return true;
}

// The text without its last `count` characters.
QStringView droppingLast(QStringView text, const QList<QStringView>& chars, qsizetype count)
{
    if (count >= chars.size()) return {};
    const QStringView first = chars[chars.size() - count];
    return text.first(first.data() - text.data());
}

} // namespace

QString strippingHorsClassement(QStringView text)
{
    // ASCII text is one character per code unit (a CR LF pair never ends with HC nor stands for a
    // letter or digit), and is most of what is typed: no grapheme search for it.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        const auto upperAt = [&](qsizetype fromEnd) { return text[text.size() - fromEnd].toUpper(); };
        if (text.size() >= 3 && upperAt(2) == u'H' && upperAt(1) == u'C') {
            const QChar before = text[text.size() - 3];
            if (before == u'-' || before == u'/' || before == u' ') return text.chopped(3).trimmed().toString();
            if (before.isLetterOrNumber()) return text.toString();
            return text.chopped(2).trimmed().toString();
        }
        return text.toString();
    }
    const QString upper = text.toString().toUpper();
    const QList<QStringView> upperChars = characters(upper);
    const QList<QStringView> chars = characters(text);
    for (QStringView suffix : {u"-HC", u"\u2013HC", u"/HC", u" HC"}) {
        if (endsWithCharacters(upperChars, suffix)) return droppingLast(text, chars, 3).trimmed().toString();
    }
    if (endsWithCharacters(upperChars, u"HC") && chars.size() >= 3) {
        const QStringView before = chars[chars.size() - 3];
        if (NumberText::isLetter(before) || NumberText::isNumeric(before)) return text.toString();
        return droppingLast(text, chars, 2).trimmed().toString();
    }
    return text.toString();
}

std::optional<QString> firstDigitRun(QStringView text)
{
    const QList<QStringView> chars = characters(text);
    qsizetype i = 0;
    while (i < chars.size() && !NumberText::isNumeric(chars[i])) ++i;
    if (i == chars.size()) return std::nullopt;
    const QChar* begin = chars[i].data();
    while (i < chars.size() && NumberText::isNumeric(chars[i])) ++i;
    const QStringView last = chars[i - 1];
    return QString(begin, last.data() + last.size() - begin);
}

std::optional<QString> canonical(QStringView text)
{
    // Plain digits, the usual case, are an integer whatever the steps below.
    if (const QStringView digits = text.trimmed(); !digits.isEmpty() && digits.size() <= 18 &&
        std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return QString::number(*NumberText::parseInteger(digits));
    QString cleaned = text.toString();
    cleaned.replace(QChar(0x00A0), u' ');
    cleaned = cleaned.trimmed();
    if (cleaned.isEmpty()) return std::nullopt;
    QString t = strippingHorsClassement(cleaned);
    if (t.isEmpty()) return std::nullopt;
    t.replace(u',', u'.');

    if (const auto integer = NumberText::parseInteger(t)) return QString::number(*integer);
    if (const auto number = NumberText::parseDouble(t)) {
        const double v = *number;
        if (v >= 0 && v < 1'000'000 && std::floor(v) == v) return QString::number(qint64(v));
    }
    if (const auto run = firstDigitRun(t))
        if (const auto integer = NumberText::parseInteger(*run)) return QString::number(*integer);
    return t.toLower();
}

} // namespace tavrin::AssignedNumber
