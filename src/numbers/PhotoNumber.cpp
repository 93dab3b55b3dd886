#include "numbers/PhotoNumber.h"

#include "numbers/NumberText.h"
#include "numbers/PathText.h"

#include <cstdio>

namespace tavrin {

namespace {

struct DigitRun {
    qsizetype begin = 0; // in code units of the searched text
    qsizetype end = 0;
    QString digits;
    qint64 value = 0;
};

// The last run of numeric characters that reads as a 64-bit integer; runs that do not (other
// scripts' digits, fractions, too many digits) leave the previous candidate in place.
std::optional<DigitRun> lastDigitRun(QStringView text)
{
    const QList<QStringView> chars = NumberText::characters(text);
    std::optional<DigitRun> candidate;
    qsizetype i = 0;
    while (i < chars.size()) {
        if (!NumberText::isNumeric(chars[i])) {
            ++i;
            continue;
        }
        const qsizetype first = i;
        while (i < chars.size() && NumberText::isNumeric(chars[i])) ++i;
        const qsizetype begin = chars[first].data() - text.data();
        const qsizetype end = chars[i - 1].data() + chars[i - 1].size() - text.data();
        const QStringView digits = text.sliced(begin, end - begin);
        if (const auto value = NumberText::parseInteger(digits))
            candidate = DigitRun{begin, end, digits.toString(), *value};
    }
    return candidate;
}

QStringView trimmedOf(QStringView text, QStringView characters)
{
    while (!text.isEmpty() && characters.contains(text.front())) text = text.sliced(1);
    while (!text.isEmpty() && characters.contains(text.back())) text.chop(1);
    return text;
}

} // namespace

std::optional<PhotoNumber> PhotoNumber::parse(QStringView text)
{
    const QString trimmed = text.trimmed().toString();
    if (trimmed.isEmpty()) return std::nullopt;
    const QStringView stem = PathText::deletingPathExtension(trimmed);
    const auto run = lastDigitRun(stem);
    if (!run) return std::nullopt;
    PhotoNumber number;
    // Composed forms, so that canonically equivalent spellings are the same number.
    number.prefix = trimmedOf(stem.first(run->begin), u" _-.").toString().toUpper().normalized(QString::NormalizationForm_C);
    number.value = run->value;
    // A run that reads as an integer is ASCII digits only: one character per code unit.
    number.width = int(run->digits.size());
    number.raw = trimmed.toUpper().normalized(QString::NormalizationForm_C);
    return number;
}

QString PhotoNumber::formatted() const
{
    char digits[64];
    std::snprintf(digits, sizeof digits, "%0*lld", std::max(width, 1), static_cast<long long>(value));
    return prefix + QLatin1StringView(digits);
}

std::strong_ordering PhotoNumber::operator<=>(const PhotoNumber& other) const
{
    if (value != other.value) return value <=> other.value;
    if (const int c = NumberText::compareCodePoints(prefix, other.prefix)) return c <=> 0;
    if (width != other.width) return width <=> other.width;
    return NumberText::compareCodePoints(raw, other.raw) <=> 0;
}

size_t qHash(const PhotoNumber& number, size_t seed) noexcept
{
    return qHashMulti(seed, number.prefix, number.value, number.width, number.raw);
}

} // namespace tavrin
