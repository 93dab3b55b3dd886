#include "organizer/RiderFoldersStore.h"

#include "base/AppSupport.h"
#include "base/RecordMerge.h"
#include "base/TavrinJSON.h"
#include "numbers/PathText.h"
#include "programme/TextFolding.h"

#include <QCollator>
#include <QSet>

namespace tavrin {

using namespace TavrinJSON;

namespace {

const QLatin1StringView kProgrammeName("programmeName"), kDestinationBookmark("destinationBookmark"),
    kDestinationName("destinationName");

} // namespace

// Every key may be absent.
struct RiderFoldersFile {
    std::optional<QString> programmeName;
    std::optional<QByteArray> destinationBookmark;
    std::optional<QString> destinationName;
};

namespace {

RiderFoldersFile decodeRiderFoldersFile(const QByteArray& data)
{
    const QJsonObject o = decodeObject(data);
    return {optionalString(o, kProgrammeName), optionalData(o, kDestinationBookmark), optionalString(o, kDestinationName)};
}

QByteArray encodeRiderFoldersFile(const RiderFoldersFile& file)
{
    JsonWriter w;
    w.beginObject();
    w.dataField(kDestinationBookmark, file.destinationBookmark);
    w.field(kDestinationName, file.destinationName);
    w.field(kProgrammeName, file.programmeName);
    w.endObject();
    return w.take();
}

} // namespace

RiderFoldersStore::RiderFoldersStore(QObject* parent)
    : StoredProgramme(Place::riderFolders, parent),
      m_file(AppSupport::riderFoldersFolder() + QStringLiteral("/settings.json"),
             {decodeRiderFoldersFile, [this] { return encodeRiderFoldersFile(held()); }, std::bind_front(&RiderFoldersStore::takeIn, this), {}})
{
    if (std::optional<RiderFoldersFile> file = m_file.load()) hold(std::move(*file));
    loadProgrammeFromDisk();
}

RiderFoldersFile RiderFoldersStore::held() const { return {m_programmeName, m_destinationBookmark, m_destinationName}; }

void RiderFoldersStore::hold(RiderFoldersFile file)
{
    m_programmeName = std::move(file.programmeName);
    m_destinationBookmark = std::move(file.destinationBookmark);
    m_destinationName = std::move(file.destinationName);
}

void RiderFoldersStore::persist() { m_file.save(); }

bool RiderFoldersStore::takeIn(const RiderFoldersFile& base, const RiderFoldersFile& theirs)
{
    using RecordMerge::pick;
    const auto before = m_destinationBookmark;
    hold({pick(base.programmeName, m_programmeName, theirs.programmeName),
          pick(base.destinationBookmark, m_destinationBookmark, theirs.destinationBookmark),
          pick(base.destinationName, m_destinationName, theirs.destinationName)});
    if (m_destinationBookmark == before) return false;
    Q_EMIT destinationChanged();
    return true;
}

QList<ImportedPerson> RiderFoldersStore::people() const
{
    if (!programme()) return {};
    struct Sorted {
        QString last, first;
        ImportedPerson person;
    };
    std::vector<Sorted> people;
    QSet<QString> folderNames;
    for (const ProgrammeDay& day : programme()->days)
        for (const ProgrammeEvent& event : day.events)
            for (const ImportedPerson& person : event.people) {
                const QString folder = person.folderName();
                if (folderNames.contains(folder)) continue;
                folderNames.insert(folder);
                people.push_back({TextFolding::frenchUpper(person.lastName.trimmed()),
                                  TextFolding::frenchUpper(person.firstName.trimmed()), person});
            }
    // The order of a file browser: case-insensitive, digits compared as numbers.
    QCollator collator{QLocale(QLocale::French, QLocale::France)};
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(people.begin(), people.end(), [&](const Sorted& a, const Sorted& b) {
        if (const int c = collator.compare(a.last, b.last)) return c < 0;
        return collator.compare(a.first, b.first) < 0;
    });
    QList<ImportedPerson> result;
    result.reserve(qsizetype(people.size()));
    for (Sorted& s : people) result.push_back(std::move(s.person));
    return result;
}

QList<ImportedPerson> RiderFoldersStore::namedPeople() const
{
    QList<ImportedPerson> named = people();
    named.removeIf([](const ImportedPerson& p) { return p.formattedName().isEmpty(); });
    return named;
}

void RiderFoldersStore::storeDestination(const QString& path)
{
    m_access.retainAccess(path);
    m_destinationBookmark = FolderReference::create(path);
    m_destinationName = PathText::lastPathComponent(FolderReference::standardizedPath(path)).toString();
    persist();
    Q_EMIT destinationChanged();
}

std::optional<QString> RiderFoldersStore::resolveDestination()
{
    if (!m_destinationBookmark) return std::nullopt;
    return m_access.resolve(*m_destinationBookmark, this, [this, old = *m_destinationBookmark](const QByteArray& fresh) {
        if (m_destinationBookmark != old || fresh == old) return;
        m_destinationBookmark = fresh;
        persist();
    });
}

} // namespace tavrin
