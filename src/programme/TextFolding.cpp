#include "programme/TextFolding.h"

#include <QLocale>

namespace tavrin::TextFolding {

namespace {

// Latin-1 letters without their marks; 0 where a character has no decomposition (Æ, Ø, ß…).
constexpr char latin1Base[64] = {'A', 'A', 'A', 'A', 'A', 'A', 0,   'C', 'E', 'E', 'E', 'E', 'I', 'I', 'I', 'I',
                                 0,   'N', 'O', 'O', 'O', 'O', 'O', 0,   0,   'U', 'U', 'U', 'U', 'Y', 0,   0,
                                 'a', 'a', 'a', 'a', 'a', 'a', 0,   'c', 'e', 'e', 'e', 'e', 'i', 'i', 'i', 'i',
                                 0,   'n', 'o', 'o', 'o', 'o', 'o', 0,   0,   'u', 'u', 'u', 'u', 'y', 0,   'y'};

} // namespace

QString foldDiacritics(QStringView text)
{
    // Names and headings are nearly always Latin-1: a table is many times faster than
    // decomposing and recomposing.
    bool latin1 = true;
    for (QChar c : text) latin1 = latin1 && c.unicode() < 0x100;
    if (latin1) {
        QString out = text.toString();
        for (QChar& c : out)
            if (c.unicode() >= 0xC0 && latin1Base[c.unicode() - 0xC0]) c = QLatin1Char(latin1Base[c.unicode() - 0xC0]);
        return out;
    }
    const QString decomposed = text.toString().normalized(QString::NormalizationForm_D);
    QString stripped;
    stripped.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing) stripped.append(c);
    return stripped.normalized(QString::NormalizationForm_C);
}

QString folded(QStringView text)
{
    QString out = foldDiacritics(text);
    // Latin-1 lower-cases by a fixed offset; only other scripts need the full mapping.
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u >= 0x100) return out.toLower();
        if ((u >= u'A' && u <= u'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) c = QChar(char16_t(u + 0x20));
    }
    return out;
}

QString frenchUpper(const QString& text)
{
    static const QLocale french(QLocale::French, QLocale::France);
    return french.toUpper(text);
}

} // namespace tavrin::TextFolding
