#pragma once

// A rider's assigned number (the bib) reduced to one canonical text, so that a typed row and a
// programme entry match by plain string equality: 012, 12 HC, 12,0 and 12. all give "12".

#include <QString>
#include <QStringView>

#include <optional>

namespace tavrin::AssignedNumber {

// None only for a blank text.
std::optional<QString> canonical(QStringView text);

// Drops a trailing "hors classement" mark: 12-HC, 12–HC, 12/HC, 12 HC and 12.HC lose it;
// 12HC and BACH keep their letters.
QString strippingHorsClassement(QStringView text);

// The first run of numeric characters, whatever their script; none without any.
std::optional<QString> firstDigitRun(QStringView text);

} // namespace tavrin::AssignedNumber
