#include "programme/ImportParser.h"

#include "programme/TextFolding.h"

#include <QSet>

namespace tavrin::ImportParser {

namespace {

enum Role { NumberRole, GivenRole, FamilyRole, FullRole, RoleCount };

// Tested in this order; the first set holding a header claims its column.
const std::array<QSet<QString>, RoleCount>& headerSets()
{
    static const std::array<QSet<QString>, RoleCount> sets{
        QSet<QString>{QStringLiteral("numero"), QStringLiteral("n"), QStringLiteral("n°"), QStringLiteral("no"),
                      QStringLiteral("number"), QStringLiteral("id"), QStringLiteral("dossard"), QStringLiteral("bib"),
                      QStringLiteral("attribution"), QStringLiteral("#")},
        QSet<QString>{QStringLiteral("prenom"), QStringLiteral("firstname"), QStringLiteral("first"),
                      QStringLiteral("given"), QStringLiteral("givenname")},
        QSet<QString>{QStringLiteral("nom"), QStringLiteral("lastname"), QStringLiteral("last"), QStringLiteral("surname"),
                      QStringLiteral("family"), QStringLiteral("familyname")},
        QSet<QString>{QStringLiteral("nomcomplet"), QStringLiteral("fullname"), QStringLiteral("name"),
                      QStringLiteral("nomprenom"), QStringLiteral("personne"), QStringLiteral("cavalier"),
                      QStringLiteral("cavaliere"), QStringLiteral("rider"), QStringLiteral("athlete")}};
    return sets;
}

constexpr qsizetype kHeaderSearchRows = 12;

} // namespace

QString normalizedHeader(QStringView cell)
{
    QString n = TextFolding::folded(cell.trimmed());
    n.removeIf([](QChar c) { return c == u' ' || c == u'_' || c == u'-' || c == u'.'; });
    return n;
}

IdentityColumns identityColumns(const QList<QStringList>& rows)
{
    const auto& sets = headerSets();
    for (qsizetype r = 0; r < std::min(rows.size(), kHeaderSearchRows); ++r) {
        std::array<PersonName::ColumnIndex, RoleCount> found;
        for (qsizetype c = 0; c < rows[r].size(); ++c) {
            const QString header = normalizedHeader(rows[r][c]);
            if (header.isEmpty()) continue;
            for (int role = 0; role < RoleCount; ++role) {
                if (!sets[role].contains(header)) continue;
                if (!found[role]) found[role] = c;
                break;
            }
        }
        if (found[NumberRole]) return {*found[NumberRole], found[FamilyRole], found[GivenRole], found[FullRole], r};
        if (found[FamilyRole]) return {0, found[FamilyRole], found[GivenRole], found[FullRole], r};
        if (found[GivenRole]) return {0, std::nullopt, found[GivenRole], found[FullRole], r};
        if (found[FullRole]) return {0, std::nullopt, std::nullopt, found[FullRole], r};
    }
    return {};
}

} // namespace tavrin::ImportParser
