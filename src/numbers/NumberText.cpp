#include "numbers/NumberText.h"

#include <QTextBoundaryFinder>

#include <cstdlib>
#include <limits>
#include <locale.h>

namespace tavrin::NumberText {

namespace {

char32_t firstCodePoint(QStringView character)
{
    if (character.isEmpty()) return 0;
    const char16_t high = character[0].unicode();
    if (QChar::isHighSurrogate(high) && character.size() > 1 && QChar::isLowSurrogate(character[1].unicode()))
        return QChar::surrogateToUcs4(high, character[1].unicode());
    return high;
}

bool isAscii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80) return false;
    return true;
}

} // namespace

QList<QStringView> characters(QStringView text)
{
    QList<QStringView> result;
    result.reserve(text.size());
    if (isAscii(text)) {
        // Plain ASCII breaks between every pair of code units but CR LF.
        for (qsizetype i = 0; i < text.size(); ++i) {
            const qsizetype len = (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ? 2 : 1;
            result.push_back(text.sliced(i, len));
            i += len - 1;
        }
        return result;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    qsizetype start = 0;
    for (qsizetype next = finder.toNextBoundary(); next > 0; next = finder.toNextBoundary()) {
        result.push_back(text.sliced(start, next - start));
        start = next;
    }
    return result;
}

bool isNumeric(QStringView character) { return QChar::isNumber(firstCodePoint(character)); }

bool isLetter(QStringView character) { return QChar::isLetter(firstCodePoint(character)); }

namespace {

char16_t unit(QChar c) { return c.unicode(); }
char16_t unit(char c) { return char16_t(static_cast<unsigned char>(c)); }

template <typename Text>
std::optional<qint64> integerOf(const Text& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (unit(text[i]) == u'+' || unit(text[i]) == u'-')) negative = unit(text[i++]) == u'-';
    if (i == text.size()) return std::nullopt;
    // Accumulated negatively so that the minimum value fits.
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = unit(text[i]);
        if (c < u'0' || c > u'9') return std::nullopt;
        const int digit = c - u'0';
        if (value < (std::numeric_limits<qint64>::min() + digit) / 10) return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative) return value;
    if (value == std::numeric_limits<qint64>::min()) return std::nullopt;
    return -value;
}

} // namespace

std::optional<qint64> parseInteger(QStringView text) { return integerOf(text); }

std::optional<qint64> parseInteger(QByteArrayView text) { return integerOf(text); }

std::optional<double> parseDouble(QStringView text)
{
    if (text.isEmpty() || !isAscii(text)) return std::nullopt;
    if (QChar(text[0]).isSpace()) return std::nullopt;
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const QByteArray bytes = text.toLatin1();
    char* end = nullptr;
    const double value = strtod_l(bytes.constData(), &end, cLocale);
    if (end != bytes.constData() + bytes.size()) return std::nullopt;
    return value;
}

int compareCodePoints(QStringView a, QStringView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x == y) continue;
        // Surrogates encode code points above every BMP character.
        const bool xs = QChar::isSurrogate(x), ys = QChar::isSurrogate(y);
        if (xs != ys) return xs ? 1 : -1;
        return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace tavrin::NumberText
