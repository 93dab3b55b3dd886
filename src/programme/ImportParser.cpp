#include "programme/ImportParser.h"

#include "numbers/NumberText.h"
#include "programme/TextFolding.h"
#include "programme/XmlPatterns.h"

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
        IdentityColumns columns;
        if (found[NumberRole]) columns = {*found[NumberRole], found[FamilyRole], found[GivenRole], found[FullRole], r};
        else if (found[FamilyRole]) columns = {0, found[FamilyRole], found[GivenRole], found[FullRole], r};
        else if (found[GivenRole]) columns = {0, std::nullopt, found[GivenRole], found[FullRole], r};
        else if (found[FullRole]) columns = {0, std::nullopt, std::nullopt, found[FullRole], r};
        else continue;
        columns.horse = horseColumn(rows[r]);
        return columns;
    }
    return {};
}

std::optional<qsizetype> horseColumn(const QStringList& headers)
{
    static const QSet<QString> names{QStringLiteral("cheval"), QStringLiteral("nomducheval"), QStringLiteral("monture"), QStringLiteral("horse")};
    for (qsizetype c = 0; c < headers.size(); ++c)
        if (names.contains(normalizedHeader(headers[c]))) return c;
    return std::nullopt;
}

void readHorse(ImportedPerson& person, const QStringList& row, const IdentityColumns& columns)
{
    if (columns.horse && *columns.horse < row.size()) person.horseName = row[*columns.horse].simplified();
}

bool isHeaderRow(const QStringList& row, qsizetype numberIndex)
{
    if (row.isEmpty()) return false;
    // A rider's number, or the start order before it, has a digit; a header's cells have none.
    const qsizetype numberCell = std::clamp<qsizetype>(numberIndex, 0, row.size() - 1);
    for (qsizetype c = numberCell; c < std::min(row.size(), numberCell + 2); ++c)
        if (std::any_of(row[c].begin(), row[c].end(), [](QChar ch) { return ch.isDigit(); })) return false;
    const auto& sets = headerSets();
    return std::any_of(row.begin(), row.end(), [&](const QString& cell) {
        const QString header = normalizedHeader(cell);
        return !header.isEmpty() && std::any_of(sets.begin(), sets.end(), [&](const QSet<QString>& set) { return set.contains(header); });
    });
}

QList<ImportedPerson> tablePeople(const QList<QStringList>& rows)
{
    const IdentityColumns columns = identityColumns(rows);
    QList<ImportedPerson> people;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        // Header rows name the columns; read as a rider one would give "n°" or "nom" as a number.
        if (r == columns.headerRow || isHeaderRow(rows[r], columns.number)) continue;
        if (auto p = PersonName::person(rows[r], columns.number, columns.last, columns.first, columns.full, r + 1)) {
            readHorse(*p, rows[r], columns);
            people.push_back(std::move(*p));
        }
    }
    return people;
}

QStringList sharedStrings(QByteArrayView xml)
{
    QStringList strings;
    if (!XmlPatterns::isValidUtf8(xml)) return strings;
    XmlPatterns::ElementScanner items(xml, "si");
    while (const auto si = items.next()) strings.push_back(QString::fromUtf8(XmlPatterns::extractT(si->inner)));
    return strings;
}

namespace {

// "AB3" → 27: the leading letters read in base 26 (A = 1), minus one; -1 beyond column XFD.
int columnIndex(QByteArrayView reference)
{
    int value = 0;
    for (char c : reference) {
        if (c >= 'a' && c <= 'z') c = char(c - 32);
        if (c < 'A' || c > 'Z') break;
        value = value * 26 + (c - 'A' + 1);
        if (value > kMaxColumns) return -1;
    }
    return std::max(value - 1, 0);
}

QString cellValue(const XmlPatterns::Element& c, const QStringList& sharedStrings)
{
    using namespace XmlPatterns;
    const auto type = attribute(c.attributes, "t");
    const auto v = firstElement(c.inner, "v");
    if (type == QByteArrayView("s") && v) {
        const auto index = NumberText::parseInteger(v->inner);
        if (index && *index >= 0 && *index < sharedStrings.size()) return sharedStrings[*index];
    } else if (type == QByteArrayView("inlineStr")) {
        return QString::fromUtf8(extractT(c.inner));
    }
    return QString::fromUtf8(v ? decodeCellText(v->inner) : extractT(c.inner));
}

} // namespace

QList<QStringList> worksheetRows(QByteArrayView xml, const QStringList& sharedStrings, qint64& cellBudget)
{
    using namespace XmlPatterns;
    QList<QStringList> rows;
    if (!isValidUtf8(xml)) return rows;
    ElementScanner rowScanner(xml, "row");
    QList<std::pair<int, QString>> cells;
    while (const auto row = rowScanner.next()) {
        cells.clear();
        int width = 1;
        ElementScanner cellScanner(row->inner, "c");
        while (const auto c = cellScanner.next()) {
            const int column = columnIndex(attribute(c->attributes, "r").value_or(QByteArrayView()));
            if (column < 0) continue;
            width = std::max(width, column + 1);
            cells.push_back({column, cellValue(*c, sharedStrings)});
        }
        cellBudget -= width;
        if (cellBudget < 0) throw ZipError::tooLarge();
        QStringList values(width);
        for (auto& [column, value] : cells) values[column] = std::move(value);
        rows.push_back(std::move(values));
    }
    return rows;
}

QList<SheetTable> excelSheets(QByteArrayView bytes)
{
    ZipArchive::Reader archive(bytes);
    return excelSheets(archive);
}

QList<SheetTable> excelSheets(ZipArchive::Reader& archive)
{
    const QList<ZipArchive::Worksheet> sheets = ZipArchive::worksheets(archive);
    QStringList strings;
    try {
        strings = sharedStrings(archive.data(QStringLiteral("xl/sharedStrings.xml")));
    } catch (const ZipError& e) {
        if (archive.exhausted() || e.kind() == ZipError::Kind::tooLarge) throw;
    }
    qint64 budget = kMaxCells;
    QList<SheetTable> tables;
    for (const ZipArchive::Worksheet& sheet : sheets) tables.push_back({sheet.name, worksheetRows(sheet.xml, strings, budget)});
    return tables;
}

QList<ImportedPerson> flatPeople(const QList<SheetTable>& sheets)
{
    QList<ImportedPerson> all;
    for (const SheetTable& sheet : sheets) all.append(tablePeople(sheet.rows));
    return uniquePeople(all);
}

QList<ImportedPerson> parseXLSX(QByteArrayView bytes) { return flatPeople(excelSheets(bytes)); }

namespace {

// A word character as regular expressions see it at a word boundary.
bool isWordCharacter(QChar c) { return c.isLetterOrNumber() || c.isMark() || c == u'_'; }

constexpr std::pair<QLatin1StringView, QLatin1StringView> weekdays[] = {
        {QLatin1StringView("lundi"), QLatin1StringView("Lundi")},       {QLatin1StringView("mardi"), QLatin1StringView("Mardi")},
        {QLatin1StringView("mercredi"), QLatin1StringView("Mercredi")}, {QLatin1StringView("jeudi"), QLatin1StringView("Jeudi")},
        {QLatin1StringView("vendredi"), QLatin1StringView("Vendredi")}, {QLatin1StringView("samedi"), QLatin1StringView("Samedi")},
        {QLatin1StringView("dimanche"), QLatin1StringView("Dimanche")}};

bool containsWord(QStringView text, QLatin1StringView word)
{
    for (qsizetype at = text.indexOf(word); at >= 0; at = text.indexOf(word, at + 1)) {
        const qsizetype end = at + word.size();
        if ((at == 0 || !isWordCharacter(text[at - 1])) && (end == text.size() || !isWordCharacter(text[end]))) return true;
    }
    return false;
}

} // namespace

std::optional<QString> dayName(QStringView text)
{
    return dayNameInFolded(TextFolding::folded(text));
}

std::optional<QString> dayNameInFolded(QStringView f)
{
    if (!f.contains(QLatin1StringView("di"))) return std::nullopt; // in every weekday's name
    for (const auto& [word, day] : weekdays)
        if (containsWord(f, word)) return QString(day);
    return std::nullopt;
}

QList<ImportedPerson> uniquePeople(const QList<ImportedPerson>& people)
{
    QSet<QString> seen;
    seen.reserve(people.size());
    QList<std::pair<qint64, ImportedPerson>> kept;
    kept.reserve(people.size());
    for (const ImportedPerson& p : people) {
        if (seen.contains(p.canonicalNumber)) continue;
        seen.insert(p.canonicalNumber);
        kept.push_back({NumberText::parseInteger(p.canonicalNumber).value_or(0), p});
    }
    std::stable_sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<ImportedPerson> out;
    out.reserve(kept.size());
    for (auto& [key, p] : kept) out.push_back(std::move(p));
    return out;
}

} // namespace tavrin::ImportParser
