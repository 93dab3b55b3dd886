#pragma once

// Table-level reading shared by the programme readers: where the identity columns of a table are.

#include "programme/PersonName.h"

#include <QList>
#include <QStringList>

#include <optional>

namespace tavrin::ImportParser {

struct IdentityColumns {
    qsizetype number = 0;
    PersonName::ColumnIndex last;
    PersonName::ColumnIndex first;
    PersonName::ColumnIndex full;
    // The row in which the headers were found; none when the table has no header row.
    std::optional<qsizetype> headerRow;

    bool operator==(const IdentityColumns&) const = default;
};

// Looks for a header row ("N°", "Nom", "Prénom", "Cavalier"…) among the first 12 rows. Without
// one, the number is taken from the first column and the names from the cells after it.
IdentityColumns identityColumns(const QList<QStringList>& rows);

// A header cell as compared with the known headers: lower case, no diacritics, no " _-.".
QString normalizedHeader(QStringView cell);

} // namespace tavrin::ImportParser
