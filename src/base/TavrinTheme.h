#pragma once

#include <QDateTime>
#include <QString>

namespace tavrin::TavrinTheme {

// The French long date with a capital first letter, e.g. "Vendredi 4 décembre 2026", in the
// user's time zone.
QString defaultDayName(const QDateTime& date);

} // namespace tavrin::TavrinTheme
