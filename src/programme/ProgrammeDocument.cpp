#include "programme/ProgrammeDocument.h"

#include "base/JsonRecord.h"
#include "base/TavrinJSON.h"
#include "programme/FileNameSanitizer.h"
#include "programme/TextFolding.h"

namespace tavrin {

using namespace TavrinJSON;

namespace {
const QLatin1StringView kCanonicalNumber("canonicalNumber"), kFirstName("firstName"), kLastName("lastName"),
    kSourceLine("sourceLine"), kHorseName("horseName"), kId("id"), kTitle("title"), kPeople("people"), kName("name"), kEvents("events"),
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
    return qHashMulti(seed, p.canonicalNumber, p.firstName, p.lastName, p.sourceLine, p.horseName);
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

} // namespace tavrin

// The horse is optional: the events' riders are read through this too.
template <>
tavrin::ImportedPerson tavrin::JsonRecord::read<tavrin::ImportedPerson>(const QJsonObject& o)
{
    ImportedPerson p;
    p.canonicalNumber = TavrinJSON::requireString(o, kCanonicalNumber);
    p.firstName = TavrinJSON::requireString(o, kFirstName);
    p.lastName = TavrinJSON::requireString(o, kLastName);
    p.sourceLine = TavrinJSON::requireInt(o, kSourceLine);
    if (o.contains(kHorseName)) p.horseName = TavrinJSON::requireString(o, kHorseName);
    return p;
}

namespace tavrin {

// The fields of each record, keys in ascending order.
static auto jsonFields(const ProgrammeEvent*)
{
    return std::tuple{JsonRecord::field(kId, &ProgrammeEvent::id), JsonRecord::field(kPeople, &ProgrammeEvent::people),
                      JsonRecord::field(kTitle, &ProgrammeEvent::title)};
}

static auto jsonFields(const ProgrammeDay*)
{
    return std::tuple{JsonRecord::field(kEvents, &ProgrammeDay::events), JsonRecord::field(kName, &ProgrammeDay::name)};
}

static auto jsonFields(const ProgrammeDocument*)
{
    return std::tuple{JsonRecord::field(kDays, &ProgrammeDocument::days), JsonRecord::field(kSourceName, &ProgrammeDocument::sourceName)};
}

void writeJson(JsonWriter& w, const ImportedPerson& p)
{
    // The horse only when known: programmes written before it read the same.
    w.beginObject();
    w.field(kCanonicalNumber, p.canonicalNumber);
    w.field(kFirstName, p.firstName);
    if (!p.horseName.isEmpty()) w.field(kHorseName, p.horseName);
    w.field(kLastName, p.lastName);
    w.field(kSourceLine, p.sourceLine);
    w.endObject();
}
void writeJson(JsonWriter& w, const ProgrammeEvent& e) { JsonRecord::write(w, e); }
void writeJson(JsonWriter& w, const ProgrammeDay& d) { JsonRecord::write(w, d); }
void writeJson(JsonWriter& w, const ProgrammeDocument& d) { JsonRecord::write(w, d); }

ImportedPerson importedPersonFromJson(const QJsonObject& o) { return JsonRecord::read<ImportedPerson>(o); }
ProgrammeEvent programmeEventFromJson(const QJsonObject& o) { return JsonRecord::read<ProgrammeEvent>(o); }
ProgrammeDay programmeDayFromJson(const QJsonObject& o) { return JsonRecord::read<ProgrammeDay>(o); }
ProgrammeDocument programmeDocumentFromJson(const QJsonObject& o) { return JsonRecord::read<ProgrammeDocument>(o); }

QByteArray encodeProgramme(const ProgrammeDocument& document) { return JsonWriter::document(document); }

ProgrammeDocument decodeProgramme(const QByteArray& data) { return programmeDocumentFromJson(decodeObject(data)); }

} // namespace tavrin
