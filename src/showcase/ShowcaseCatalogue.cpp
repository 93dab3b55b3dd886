#include "showcase/ShowcaseCatalogue.h"

#include "base/AppSupport.h"
#include "orders/OrdersStore.h"
#include "numbers/AssignedNumber.h"
#include "organizer/PhotoFile.h"
#include "organizer/SpreadsheetMacSettings.h"
#include "programme/TextFolding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace tavrin {

namespace {

constexpr int maxIds = 200000; // a bound on what a folder of many folders can make us remember

} // namespace

ShowcaseCatalogue::ShowcaseCatalogue(QString folder, QList<ProgrammeDocument> programmes)
    : m_folder(QFileInfo(folder).absoluteFilePath()), m_programmes(std::move(programmes))
{
}

namespace {

// The riders typed by hand in the spreadsheets, as one event: their folders are named as the
// run names them, and their numbers find them as a programme's do.
std::optional<ProgrammeDocument> typedRiders()
{
    QFile file(AppSupport::folder() + QStringLiteral("/workspace.json"));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QList<ImportedPerson> people;
    try {
        const QJsonObject workspace = TavrinJSON::decodeObject(file.readAll());
        const QMap<QUuid, SpreadsheetMacSettings> sheets =
            readUuidMap<SpreadsheetMacSettings>(workspace.value(QStringLiteral("settings")), spreadsheetMacSettingsFromJson);
        QSet<QString> seen;
        for (const SpreadsheetMacSettings& sheet : sheets)
            for (auto it = sheet.manualRiders.constBegin(); it != sheet.manualRiders.constEnd(); ++it)
                if (!seen.contains(it.key())) {
                    seen.insert(it.key());
                    people.push_back(ImportedPerson{it.key(), it->firstName.trimmed(), it->lastName.trimmed(), 0});
                }
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (people.isEmpty()) return std::nullopt;
    ProgrammeDocument notes;
    notes.sourceName = QStringLiteral("workspace.json");
    notes.days = {{QStringLiteral("Notes"), {{QStringLiteral("Notes|Cavaliers notés"), QStringLiteral("Cavaliers notés"), people}}}};
    return notes;
}

} // namespace

QString ShowcaseCatalogue::riderNumber(const QString& folderName) const
{
    const QString wanted = TextFolding::folded(folderName);
    for (const ProgrammeDocument& programme : m_programmes)
        for (const ProgrammeDay& day : programme.days)
            for (const ProgrammeEvent& event : day.events)
                for (const ImportedPerson& person : event.people)
                    if (TextFolding::folded(person.folderName()) == wanted) return person.canonicalNumber;
    return {};
}

QList<ProgrammeDocument> ShowcaseCatalogue::knownProgrammes()
{
    QList<ProgrammeDocument> out;
    if (std::optional<ProgrammeDocument> notes = typedRiders()) out.append(std::move(*notes));
    for (const QString& folder : {AppSupport::folder(), AppSupport::riderFoldersFolder()}) {
        QFile file(folder + QStringLiteral("/programme.json"));
        if (!file.open(QIODevice::ReadOnly)) continue;
        try {
            out.append(decodeProgramme(file.readAll()));
        } catch (const std::exception&) {
            // An unreadable programme only means no search by number through it.
        }
    }
    return out;
}

int ShowcaseCatalogue::idFor(QHash<QString, int>& ids, QStringList& paths, const QString& path)
{
    if (const auto found = ids.constFind(path); found != ids.cend()) return *found;
    if (paths.size() >= maxIds) return -1;
    const int id = int(paths.size());
    ids.insert(path, id);
    paths.append(path);
    return id;
}

QList<ShowcaseCatalogue::Rider> ShowcaseCatalogue::scan()
{
    QList<Rider> riders;
    QList<OrderFolder> folders;
    try {
        folders = OrdersStore::directories(m_folder);
    } catch (const std::exception&) {
        return {};
    }
    for (const OrderFolder& f : folders) {
        const int id = idFor(m_riderIds, m_riderPaths, f.url);
        if (id >= 0) riders.append({id, f.name, f.url});
    }
    return riders;
}

QList<ShowcaseCatalogue::Rider> ShowcaseCatalogue::search(const QString& text, int limit)
{
    const QString wanted = TextFolding::folded(text.simplified());
    if (wanted.isEmpty()) return {};
    // Folder names the programmes give to riders of that number.
    QSet<QString> byNumber;
    if (const std::optional<QString> number = AssignedNumber::canonical(text.trimmed())) {
        for (const ProgrammeDocument& programme : m_programmes)
            for (const ProgrammeDay& day : programme.days)
                for (const ProgrammeEvent& event : day.events)
                    for (const ImportedPerson& person : event.people)
                        if (person.canonicalNumber == *number) byNumber.insert(TextFolding::folded(person.folderName()));
    }
    QMutexLocker lock(&m_mutex);
    QList<Rider> found;
    for (const Rider& rider : scan()) {
        const QString name = TextFolding::folded(rider.name);
        if (name.contains(wanted) || byNumber.contains(name)) found.append(rider);
        if (found.size() >= limit) break;
    }
    return found;
}

std::optional<ShowcaseCatalogue::Rider> ShowcaseCatalogue::rider(int id)
{
    QMutexLocker lock(&m_mutex);
    if (id < 0 || id >= m_riderPaths.size()) return std::nullopt;
    const QString path = m_riderPaths[id];
    // Still there, still directly in the showcase's folder.
    const QFileInfo info(path);
    if (!info.isDir() || info.absolutePath() != m_folder) return std::nullopt;
    return Rider{id, info.fileName(), path};
}

QList<ShowcaseCatalogue::Photo> ShowcaseCatalogue::photos(int riderId)
{
    const std::optional<Rider> r = rider(riderId);
    if (!r) return {};
    QList<OrderMedia> media;
    try {
        media = OrdersStore::media(r->path);
    } catch (const std::exception&) {
        return {};
    }
    QMutexLocker lock(&m_mutex);
    QList<Photo> out;
    for (const OrderMedia& m : media) {
        if (m.isVideo || !PhotoFile::isPhoto(m.url)) continue;
        const int id = idFor(m_photoIds, m_photoPaths, m.url);
        if (id >= 0) out.append({id, QFileInfo(m.url).fileName(), m.url});
    }
    return out;
}

std::optional<ShowcaseCatalogue::Photo> ShowcaseCatalogue::photo(int id)
{
    QMutexLocker lock(&m_mutex);
    if (id < 0 || id >= m_photoPaths.size()) return std::nullopt;
    const QFileInfo info(m_photoPaths[id]);
    if (!info.isFile()) return std::nullopt;
    return Photo{id, info.fileName(), info.absoluteFilePath()};
}

} // namespace tavrin
