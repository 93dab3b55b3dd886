#pragma once

// How a rider's text becomes family and given names, and how a table row becomes a rider. Every
// programme reader uses these rules; none of them fails: at worst a part is empty.

#include "programme/ProgrammeDocument.h"

#include <QStringList>
#include <QStringView>

#include <optional>

namespace tavrin::PersonName {

using ColumnIndex = std::optional<qsizetype>;

struct Split {
    QString first; // given name(s)
    QString last;  // family name(s)
    bool operator==(const Split&) const = default;
};

// Family names first, particles included: "DE LA TOUR Marie" → (Marie, DE LA TOUR). At most two
// given names are kept, the second only when it is a usual second word of a compound name.
Split splitFamilyAndGiven(QStringView text);

// Given name last, or the last two words when they are a known compound given name:
// "MARTIN DURAND Jean Marc" → (Jean Marc, MARTIN DURAND).
Split splitListingRider(QStringView text);

// Family names written in capitals, wherever they stand: "Marie Claire DUPONT" → (Marie Claire, DUPONT).
Split splitWebsiteRider(QStringView text);

// A line of text cut into table cells at tabs, or at runs of two or more spaces when that gives
// more than two cells; none otherwise.
std::optional<QStringList> columnCells(QStringView line);

// The trimmed cell at `index`, "" when there is none.
QString cell(const QStringList& row, ColumnIndex index);

// A rider from a table row: the number cell (or the one after it when a start order comes first),
// then the names from the given columns or from the cells after the number. None for a row
// without a number or without any name.
std::optional<ImportedPerson> person(const QStringList& row, qsizetype numberIndex, ColumnIndex last,
                                     ColumnIndex first, ColumnIndex full, qint64 sourceLine);

// The white-space separated words of a text.
QList<QStringView> tokens(QStringView text);

} // namespace tavrin::PersonName
