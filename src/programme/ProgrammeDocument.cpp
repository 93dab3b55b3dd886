#include "programme/ProgrammeDocument.h"

#include "base/TavrinJSON.h"
#include "programme/FileNameSanitizer.h"
#include "programme/TextFolding.h"

namespace tavrin {

using namespace TavrinJSON;

namespace {
const QLatin1StringView kCanonicalNumber("canonicalNumber"), kFirstName("firstName"), kLastName("lastName"),
    kSourceLine("sourceLine"), kId("id"), kTitle("title"), kPeople("people"), kName("name"), kEvents("events"),
    kSourceName("sourceName"), kDays("days");
} // namespace

QString ImportedPerson::formattedName() const
{
    QStringList parts;
    for (const QString& part : {lastName, firstName}) {
        const QString upper = TextFolding::frenchUpper(part.trimmed());
        if (!upper.isEmpty()) parts.push_back(upper);
    }
    return parts.join(u' ');
}

QString ImportedPerson::displayName() const
{
    const QString name = formattedName();
    return name.isEmpty() ? QStringLiteral("N° ") + canonicalNumber : name;
}

QString ImportedPerson::folderName() const
{
    const QString name = formattedName();
    return name.isEmpty() ? canonicalNumber : FileNameSanitizer::sanitize(name);
}

size_t qHash(const ImportedPerson& p, size_t seed) noexcept
{
    return qHashMulti(seed, p.canonicalNumber, p.firstName, p.lastName, p.sourceLine);
}
size_t qHash(const ProgrammeEvent& e, size_t seed) noexcept
{
    return qHashMulti(seed, e.id, e.title, qHashRange(e.people.begin(), e.people.end()));
}
size_t qHash(const ProgrammeDay& d, size_t seed) noexcept
{
    return qHashMulti(seed, d.name, qHashRange(d.events.begin(), d.events.end()));
}
size_t qHash(const ProgrammeDocument& d, size_t seed) noexcept
{
    return qHashMulti(seed, d.sourceName, qHashRange(d.days.begin(), d.days.end()));
}

void writeJson(JsonWriter& w, const ImportedPerson& p)
{
    w.beginObject();
    w.field(kCanonicalNumber, p.canonicalNumber);
    w.field(kFirstName, p.firstName);
    w.field(kLastName, p.lastName);
    w.field(kSourceLine, p.sourceLine);
    w.endObject();
}

void writeJson(JsonWriter& w, const ProgrammeEvent& e)
{
    w.beginObject();
    w.field(kId, e.id);
    w.array(kPeople, e.people);
    w.field(kTitle, e.title);
    w.endObject();
}

void writeJson(JsonWriter& w, const ProgrammeDay& d)
{
    w.beginObject();
    w.array(kEvents, d.events);
    w.field(kName, d.name);
    w.endObject();
}

void writeJson(JsonWriter& w, const ProgrammeDocument& d)
{
    w.beginObject();
    w.array(kDays, d.days);
    w.field(kSourceName, d.sourceName);
    w.endObject();
}

ImportedPerson importedPersonFromJson(const QJsonObject& o)
{
    return ImportedPerson{requireString(o, kCanonicalNumber), requireString(o, kFirstName), requireString(o, kLastName),
                          requireInt(o, kSourceLine)};
}

ProgrammeEvent programmeEventFromJson(const QJsonObject& o)
{
    return ProgrammeEvent{requireString(o, kId), requireString(o, kTitle),
                          requireList<ImportedPerson>(o, kPeople, importedPersonFromJson)};
}

ProgrammeDay programmeDayFromJson(const QJsonObject& o)
{
    return ProgrammeDay{requireString(o, kName), requireList<ProgrammeEvent>(o, kEvents, programmeEventFromJson)};
}

ProgrammeDocument programmeDocumentFromJson(const QJsonObject& o)
{
    return ProgrammeDocument{requireString(o, kSourceName), requireList<ProgrammeDay>(o, kDays, programmeDayFromJson)};
}

QByteArray encodeProgramme(const ProgrammeDocument& document) { return JsonWriter::document(document); }

ProgrammeDocument decodeProgramme(const QByteArray& data) { return programmeDocumentFromJson(decodeObject(data)); }

} // namespace tavrin
