#pragma once

// Amounts are whole cents; shown and typed the French way.

#include <QString>
#include <QtGlobal>

namespace tavrin::Money {

// « 15,00 € », « 1 250,50 € » (thousands apart by a narrow no-break space).
QString text(qint64 cents);
// « 15,00 » for a spreadsheet cell: decimal comma, no grouping, no sign of the currency.
QString decimal(qint64 cents);
// « 15 », « 15,5 », « 15.50 », « 15,00 € » → cents. Throws tavrin::Error with a French message
// for anything else, a negative amount or more than two decimals.
qint64 parse(const QString& euros);

} // namespace tavrin::Money
