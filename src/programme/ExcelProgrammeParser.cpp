#include "programme/ExcelProgrammeParser.h"

#include "numbers/NumberText.h"
#include "numbers/PathText.h"
#include "programme/ImportError.h"
#include "programme/TextFolding.h"

#include <QCollator>
#include <QFile>
#include <QRegularExpression>

namespace tavrin::ExcelProgrammeParser {

namespace {

const QString kProgramme = QStringLiteral("Programme");
const QString kInscriptions = QStringLiteral("Inscriptions");

// The order of file browsers: case-insensitive, digit runs compared as numbers.
bool standardLess(const QString& a, const QString& b)
{
    thread_local const QCollator collator = [] {
        QCollator c(QLocale(QLocale::French, QLocale::France));
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator.compare(a, b) < 0;
}

QString joinedCells(const QStringList& row)
{
    QStringList parts;
    for (const QString& cell : row)
        if (const QString t = cell.trimmed(); !t.isEmpty()) parts.push_back(t);
    return parts.join(u' ');
}

} // namespace

bool isGenericSheetName(QStringView text)
{
    static const QRegularExpression generic(QStringLiteral("^(feuille|feuil|sheet|onglet)\\s*\\d*$"),
                                            QRegularExpression::UseUnicodePropertiesOption);
    return generic.match(TextFolding::folded(text)).hasMatch();
}

std::optional<QString> eventTitle(QStringView text)
{
    static const QRegularExpression height(QStringLiteral("\\(\\s*\\d+[.,]\\d+\\s*m?\\s*\\)"),
                                           QRegularExpression::UseUnicodePropertiesOption);
    const QString trimmed = text.trimmed().toString();
    const QString f = TextFolding::folded(trimmed);
    if (f.contains(QLatin1StringView("preparatoire")) || f.contains(QLatin1StringView("epreuve")) ||
        f.contains(QLatin1StringView("grand prix")) || height.match(trimmed).hasMatch())
        return trimmed;
    return std::nullopt;
}

QList<ProgrammeDay> parseSheet(const QString& name, const QList<QStringList>& rows)
{
    const ImportParser::IdentityColumns columns = ImportParser::identityColumns(rows);
    const auto sheetDay = dayName(name);
    QString day = sheetDay.value_or(kProgramme);
    QString event = (sheetDay || isGenericSheetName(name)) ? kInscriptions : name.trimmed();

    QHash<QString, QHash<QString, QList<ImportedPerson>>> collected;
    QList<ImportedPerson>* current = nullptr; // collected[day][event], looked up when either changes
    for (qsizetype r = 0; r < rows.size(); ++r) {
        // Header rows name the columns; read as a rider one would give "n°" or "nom" as a number.
        if (r == columns.headerRow || ImportParser::isHeaderRow(rows[r], columns.number)) continue;
        if (auto p = PersonName::person(rows[r], columns.number, columns.last, columns.first, columns.full, r + 1)) {
            ImportParser::readHorse(*p, rows[r], columns);
            if (!current) current = &collected[day][event];
            current->push_back(std::move(*p));
            continue;
        }
        const QString text = joinedCells(rows[r]);
        if (text.isEmpty()) continue;
        if (const auto d = dayName(text)) day = *d;
        else if (const auto title = eventTitle(text)) event = *title;
        else continue;
        current = nullptr;
    }

    QStringList dayNames = collected.keys();
    std::sort(dayNames.begin(), dayNames.end(),
              [](const QString& a, const QString& b) { return NumberText::compareCodePoints(a, b) < 0; });
    QList<ProgrammeDay> days;
    for (const QString& dayName : dayNames) {
        const auto& events = collected[dayName];
        QStringList titles = events.keys();
        std::sort(titles.begin(), titles.end(), standardLess);
        ProgrammeDay d{dayName, {}};
        for (const QString& title : titles)
            d.events.push_back({dayName + u'|' + title, title, uniquePeople(events[title])});
        days.push_back(std::move(d));
    }
    return days;
}

void merge(const QList<ProgrammeDay>& newDays, QList<ProgrammeDay>& days)
{
    for (const ProgrammeDay& newDay : newDays) {
        auto day = std::find_if(days.begin(), days.end(), [&](const ProgrammeDay& d) { return d.name == newDay.name; });
        if (day == days.end()) {
            days.push_back(newDay);
            continue;
        }
        for (const ProgrammeEvent& newEvent : newDay.events) {
            auto event = std::find_if(day->events.begin(), day->events.end(),
                                      [&](const ProgrammeEvent& e) { return e.title == newEvent.title; });
            if (event == day->events.end()) {
                day->events.push_back(newEvent);
                continue;
            }
            QSet<QString> numbers;
            for (const ImportedPerson& p : event->people) numbers.insert(p.canonicalNumber);
            for (const ImportedPerson& p : newEvent.people)
                if (!numbers.contains(p.canonicalNumber)) event->people.push_back(p);
            event->people = uniquePeople(event->people);
        }
    }
}

ProgrammeDocument parse(QByteArrayView bytes, const QString& sourceName)
{
    ZipArchive::Reader archive(bytes);
    const QList<ImportParser::SheetTable> sheets = ImportParser::excelSheets(archive);
    QList<ProgrammeDay> days;
    for (const ImportParser::SheetTable& sheet : sheets) merge(parseSheet(sheet.name, sheet.rows), days);

    const bool anyEvent = std::any_of(days.begin(), days.end(), [](const ProgrammeDay& d) { return !d.events.isEmpty(); });
    if (!anyEvent) {
        if (const QList<ImportedPerson> people = ImportParser::flatPeople(sheets); !people.isEmpty())
            days = {ProgrammeDay{kProgramme, {ProgrammeEvent{kProgramme + u'|' + kInscriptions, kInscriptions, people}}}};
    }
    ProgrammeDocument document{sourceName, {}};
    for (ProgrammeDay& d : days)
        if (!d.events.isEmpty()) document.days.push_back(std::move(d));
    return document;
}

ProgrammeDocument parse(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw ImportError::unreadable();
    const QString name = PathText::lastPathComponent(path).toString();
    // Offsets of the zip format end at 4 GiB; beyond, only its 64-bit form, not read here, can
    // place the parts.
    if (file.size() > kMaxZipSize) throw ZipError::tooLarge();
    // Mapped rather than read: only the parts read are paged in, so that a workbook made large
    // by its pictures reads like a small one.
    if (file.size() > 0)
        if (const uchar* mapped = file.map(0, file.size()))
            return parse(QByteArrayView(reinterpret_cast<const char*>(mapped), file.size()), name);
    if (file.size() > kMaxReadSize) throw ZipError::tooLarge();
    return parse(file.readAll(), name);
}

} // namespace tavrin::ExcelProgrammeParser
