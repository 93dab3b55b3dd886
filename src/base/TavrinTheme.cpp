#include "base/TavrinTheme.h"

#include <QLocale>

namespace tavrin::TavrinTheme {

QString defaultDayName(const QDateTime& date)
{
    const QLocale french(QLocale::French, QLocale::France);
    QString text = french.toString(date.toLocalTime().date(), QStringLiteral("dddd d MMMM yyyy"));
    if (!text.isEmpty()) text = text.left(1).toUpper() + text.mid(1);
    return text;
}

} // namespace tavrin::TavrinTheme
