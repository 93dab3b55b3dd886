#include "programme/TextFolding.h"

#include <QLocale>

namespace tavrin::TextFolding {

QString foldDiacritics(QStringView text)
{
    bool ascii = true;
    for (QChar c : text) ascii = ascii && c.unicode() < 0x80;
    if (ascii) return text.toString();
    const QString decomposed = text.toString().normalized(QString::NormalizationForm_D);
    QString stripped;
    stripped.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing) stripped.append(c);
    return stripped.normalized(QString::NormalizationForm_C);
}

QString folded(QStringView text) { return foldDiacritics(text).toLower(); }

QString frenchUpper(const QString& text)
{
    static const QLocale french(QLocale::French, QLocale::France);
    return french.toUpper(text);
}

} // namespace tavrin::TextFolding
