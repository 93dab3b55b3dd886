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

// The content of "settings.json"; every key may be absent.
struct RiderFoldersFile {
    std::optional<QString> programmeName;
    std::optional<QByteArray> destinationBookmark;
    std::optional<QString> destinationName;
};

RiderFoldersFile decodeRiderFoldersFile(const QByteArray& data)
{
    const QJsonObject o = decodeObject(data);
    return {optionalString(o, kProgrammeName), optionalData(o, kDestinationBookmark), optionalString(o, kDestinationName)};
}

QByteArray encodeRiderFoldersFile(const RiderFoldersFile& file)
{
    JsonWriter w;
    w.beginObject();
    if (file.destinationBookmark) {
        w.key(kDestinationBookmark);
        w.data(*file.destinationBookmark);
    }
    if (file.destinationName) w.field(kDestinationName, *file.destinationName);
    if (file.programmeName) w.field(kProgrammeName, *file.programmeName);
    w.endObject();
    return w.take();
}

} // namespace

RiderFoldersStore::RiderFoldersStore(QObject* parent)
    : StoredProgramme(Place::riderFolders, parent),
      m_file(AppSupport::riderFoldersFolder() + QStringLiteral("/settings.json"))
{
    QByteArray read;
    if (std::optional<RiderFoldersFile> file = m_file.load<RiderFoldersFile>([&read](const QByteArray& data) {
            read = data;
            return decodeRiderFoldersFile(data);
        })) {
        m_written = read;
        m_programmeName = std::move(file->programmeName);
        m_destinationBookmark = std::move(file->destinationBookmark);
        m_destinationName = std::move(file->destinationName);
    }
    loadProgrammeFromDisk();
}

namespace {

std::optional<QByteArray> decodableBytes(JsonFile& file)
{
    QByteArray bytes;
    if (!file.load<bool>([&bytes](const QByteArray& data) {
            decodeRiderFoldersFile(data);
            bytes = data;
            return true;
        }))
        return std::nullopt;
    return bytes;
}

} // namespace

void RiderFoldersStore::persist()
{
    const DataFolderLock held = m_file.lock();
    if (m_file.changedOnDisk())
        if (const std::optional<QByteArray> theirs = decodableBytes(m_file)) takeIn(*theirs);
    const QByteArray data = encodeRiderFoldersFile({m_programmeName, m_destinationBookmark, m_destinationName});
    if (data == m_written && !m_file.holdsUnreadableFile()) return;
    if (m_file.write(data)) m_written = data;
}

bool RiderFoldersStore::takeIn(const QByteArray& theirs)
{
    using RecordMerge::pick;
    RiderFoldersFile base;
    try {
        if (!m_written.isEmpty()) base = decodeRiderFoldersFile(m_written);
    } catch (const std::exception&) {
    }
    const RiderFoldersFile other = decodeRiderFoldersFile(theirs);
    m_written = theirs;
    const auto before = m_destinationBookmark;
    m_programmeName = pick(base.programmeName, m_programmeName, other.programmeName);
    m_destinationBookmark = pick(base.destinationBookmark, m_destinationBookmark, other.destinationBookmark);
    m_destinationName = pick(base.destinationName, m_destinationName, other.destinationName);
    if (m_destinationBookmark == before) return false;
    Q_EMIT destinationChanged();
    return true;
}

void RiderFoldersStore::followDiskChanges()
{
    if (std::exchange(m_followsDisk, true)) return;
    followFolderOf(m_file.path(), this, [this] { reloadIfChanged(); });
}

bool RiderFoldersStore::reloadIfChanged()
{
    const bool programmeMoved = reloadProgrammeIfChanged();
    if (!m_file.changedOnDisk()) return programmeMoved;
    const std::optional<QByteArray> theirs = decodableBytes(m_file);
    if (!theirs) return programmeMoved;
    const bool changed = takeIn(*theirs);
    if (encodeRiderFoldersFile({m_programmeName, m_destinationBookmark, m_destinationName}) != m_written) persist();
    return changed || programmeMoved;
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
