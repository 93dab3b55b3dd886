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

#include "TestSupport.h"

namespace tavrin::test {

inline QString programmeFixture(const char* name) { return fixture(QStringLiteral("programme/") + QLatin1StringView(name)); }
inline QByteArray programmeFixtureBytes(const char* name) { return readFile(programmeFixture(name)); }

// A document as one line per event, "id: number LAST/First, …", for compact comparisons.
inline QStringList outline(const QList<ProgrammeDay>& days)
{
    QStringList lines;
    for (const ProgrammeDay& day : days)
        for (const ProgrammeEvent& event : day.events) {
            QStringList people;
            for (const ImportedPerson& p : event.people) people << p.canonicalNumber + u' ' + p.lastName + u'/' + p.firstName;
            lines << event.id + (event.id == day.name + u'|' + event.title ? QString() : u" [" + event.title + u']') +
                         QStringLiteral(": ") + people.join(QStringLiteral(", "));
        }
    return lines;
}

} // namespace tavrin::test
