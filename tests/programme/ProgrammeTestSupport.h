#pragma once

#include "programme/ProgrammeDocument.h"

#include <QString>
#include <QStringList>

#include <ostream>

// Readable failures for Qt strings and programme records.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) { *os << '[' << l.join(u'|').toStdString() << ']'; }
namespace tavrin {
inline void PrintTo(const ImportedPerson& p, std::ostream* os)
{
    *os << '{' << p.canonicalNumber.toStdString() << ", " << p.firstName.toStdString() << ", "
        << p.lastName.toStdString() << ", " << p.sourceLine << '}';
}
} // namespace tavrin
