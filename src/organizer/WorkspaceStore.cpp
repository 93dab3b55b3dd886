#include "organizer/WorkspaceStore.h"

#include "base/AppSupport.h"
#include "base/DataFileNotices.h"
#include "base/DataFolderDatabase.h"
#include "base/RecordMerge.h"
#include "base/TavrinJSON.h"
#include "numbers/AssignedNumber.h"
#include "numbers/PathText.h"
#include "programme/TextFolding.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>

namespace tavrin {

using namespace TavrinJSON;

namespace {

const QLatin1StringView kSettings("settings"), kProgrammeName("programmeName"),
    kLastDestinationBookmark("lastDestinationBookmark"), kLastDestinationName("lastDestinationName"),
    kActionHistory("actionHistory");

} // namespace

// Every key may be absent.
struct WorkspaceFile {
    QMap<QUuid, SpreadsheetMacSettings> settings;
    std::optional<QString> programmeName;
    std::optional<QByteArray> lastDestinationBookmark;
    std::optional<QString> lastDestinationName;
    QList<OrganizerHistoryEntry> actionHistory;
};

namespace {

WorkspaceFile decodeWorkspaceFile(const QByteArray& data)
{
    const QJsonObject o = decodeObject(data);
    WorkspaceFile file;
    if (o.contains(kSettings)) file.settings = readUuidMap<SpreadsheetMacSettings>(o.value(kSettings), spreadsheetMacSettingsFromJson);
    file.programmeName = optionalString(o, kProgrammeName);
    file.lastDestinationBookmark = optionalData(o, kLastDestinationBookmark);
    file.lastDestinationName = optionalString(o, kLastDestinationName);
    if (o.contains(kActionHistory))
        file.actionHistory = requireList<OrganizerHistoryEntry>(o, kActionHistory, organizerHistoryEntryFromJson);
    return file;
}

QByteArray encodeWorkspaceFile(const WorkspaceFile& file)
{
    JsonWriter w;
    w.beginObject();
    w.key(kActionHistory);
    w.beginArray();
    for (const OrganizerHistoryEntry& entry : file.actionHistory) writeJson(w, entry);
    w.endArray();
    if (file.lastDestinationBookmark) {
        w.key(kLastDestinationBookmark);
        w.data(*file.lastDestinationBookmark);
    }
    if (file.lastDestinationName) w.field(kLastDestinationName, *file.lastDestinationName);
    if (file.programmeName) w.field(kProgrammeName, *file.programmeName);
    w.key(kSettings);
    writeUuidMap(w, file.settings, [](JsonWriter& writer, const SpreadsheetMacSettings& s) { writeJson(writer, s); });
    w.endObject();
    return w.take();
}

SpreadsheetMacSettings mergedSettings(const SpreadsheetMacSettings* base, const SpreadsheetMacSettings& ours,
                                      const SpreadsheetMacSettings& theirs)
{
    using RecordMerge::pick;
    const SpreadsheetMacSettings none;
    const SpreadsheetMacSettings& b = base ? *base : none;
    SpreadsheetMacSettings s = ours;
    s.importBookmark = pick(b.importBookmark, ours.importBookmark, theirs.importBookmark);
    s.importName = pick(b.importName, ours.importName, theirs.importName);
    s.importCopyName = pick(b.importCopyName, ours.importCopyName, theirs.importCopyName);
    s.sourceBookmark = pick(b.sourceBookmark, ours.sourceBookmark, theirs.sourceBookmark);
    s.sourceName = pick(b.sourceName, ours.sourceName, theirs.sourceName);
    s.destinationBookmark = pick(b.destinationBookmark, ours.destinationBookmark, theirs.destinationBookmark);
    s.destinationName = pick(b.destinationName, ours.destinationName, theirs.destinationName);
    s.selectedDayName = pick(b.selectedDayName, ours.selectedDayName, theirs.selectedDayName);
    s.selectedEventID = pick(b.selectedEventID, ours.selectedEventID, theirs.selectedEventID);
    s.isCompleted = pick(b.isCompleted, ours.isCompleted, theirs.isCompleted);
    s.customEventName = pick(b.customEventName, ours.customEventName, theirs.customEventName);
    const auto oursWins = [](const auto*, const auto& o, const auto&) { return o; };
    s.manualRiders = RecordMerge::byKey(b.manualRiders, ours.manualRiders, theirs.manualRiders, oursWins);
    s.rememberedTransfers = RecordMerge::byKey(b.rememberedTransfers, ours.rememberedTransfers, theirs.rememberedTransfers, oursWins);
    return s;
}

WorkspaceFile mergedWorkspaceFile(const WorkspaceFile& base, const WorkspaceFile& ours, const WorkspaceFile& theirs)
{
    using RecordMerge::pick;
    WorkspaceFile file;
    file.settings = RecordMerge::byKey(base.settings, ours.settings, theirs.settings, mergedSettings);
    file.programmeName = pick(base.programmeName, ours.programmeName, theirs.programmeName);
    file.lastDestinationBookmark = pick(base.lastDestinationBookmark, ours.lastDestinationBookmark, theirs.lastDestinationBookmark);
    file.lastDestinationName = pick(base.lastDestinationName, ours.lastDestinationName, theirs.lastDestinationName);
    file.actionHistory = RecordMerge::byId(base.actionHistory, ours.actionHistory, theirs.actionHistory,
                                           [](const OrganizerHistoryEntry& e) { return e.id; },
                                           [](const OrganizerHistoryEntry*, const OrganizerHistoryEntry& o,
                                              const OrganizerHistoryEntry&) { return o; });
    // Runs of both programs, newest first, as many as one store keeps.
    std::stable_sort(file.actionHistory.begin(), file.actionHistory.end(),
                     [](const OrganizerHistoryEntry& a, const OrganizerHistoryEntry& b) { return a.date > b.date; });
    if (file.actionHistory.size() > WorkspaceStore::maxHistoryEntries) file.actionHistory.resize(WorkspaceStore::maxHistoryEntries);
    return file;
}

// Identifiers in the database as workspace.json writes them.
QString idText(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

// Whether the row already remembers exactly `copies`, in that order.
bool rowRemembers(Database& db, const QString& sheet, const QString& row, const QList<CopiedPhoto>& copies)
{
    Database::Statement read = db.statement("SELECT source, size, modified_ns, target, made FROM remembered_copies "
                                            "WHERE spreadsheet = ? AND row = ? ORDER BY position");
    read.bind(1, sheet).bind(2, row);
    qsizetype i = 0;
    for (; read.next(); ++i) {
        if (i >= copies.size()) return false;
        const CopiedPhoto& copy = copies[i];
        if (read.text(0) != copy.source || read.integer(1) != copy.size || read.integer(2) != copy.modified ||
            read.text(3) != copy.target || (read.integer(4) != 0) != copy.made)
            return false;
    }
    return i == copies.size();
}

// Replaces what the row remembers by `copies`, inside the caller's transaction. A re-run that
// finds every photo in place writes nothing: the database's pages are not rewritten for nothing.
void replaceRowCopies(Database& db, const QString& sheet, const QString& row, const QList<CopiedPhoto>& copies)
{
    if (rowRemembers(db, sheet, row, copies)) return;
    db.statement("DELETE FROM remembered_copies WHERE spreadsheet = ? AND row = ?").bind(1, sheet).bind(2, row).run();
    Database::Statement insert = db.statement("INSERT INTO remembered_copies (spreadsheet, row, position, source, size, "
                                              "modified_ns, target, made) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    for (qsizetype i = 0; i < copies.size(); ++i) {
        const CopiedPhoto& copy = copies[i];
        insert.bind(1, sheet).bind(2, row).bind(3, i).bind(4, copy.source).bind(5, copy.size).bind(6, copy.modified);
        insert.bind(7, copy.target).bind(8, copy.made ? 1 : 0).run();
    }
}

// Equal ignoring case and diacritics.
bool looselyEqual(const QString& a, const QString& b) { return TextFolding::folded(a) == TextFolding::folded(b); }

} // namespace

WorkspaceStore::WorkspaceStore(QObject* parent)
    : StoredProgramme(Place::workspace, parent),
      m_file(AppSupport::fileInFolder(QStringLiteral("workspace.json")),
             {decodeWorkspaceFile, [this] { return encodeWorkspaceFile(held()); }, std::bind_front(&WorkspaceStore::takeIn, this), {}})
{
    migrateLegacyCopies();
    if (std::optional<WorkspaceFile> file = m_file.load()) hold(std::move(*file));
    // Files written before the last destination was kept seed it from a spreadsheet's.
    for (const SpreadsheetMacSettings& s : std::as_const(m_settings)) {
        if (!m_lastDestinationBookmark && s.destinationBookmark) m_lastDestinationBookmark = s.destinationBookmark;
        if (!m_lastDestinationName && s.destinationName) m_lastDestinationName = s.destinationName;
    }
    loadProgrammeFromDisk();
}

WorkspaceStore::~WorkspaceStore() = default;

Database* WorkspaceStore::database() const
{
    if (m_database || m_databaseFailed) return m_database.get();
    try {
        m_database = DataFolderDatabase::open(QFileInfo(m_file.path()).absolutePath());
    } catch (const Error& error) {
        m_databaseFailed = true;
        DataFileNotices::instance().post(error.message());
    }
    return m_database.get();
}

void WorkspaceStore::migrateLegacyCopies()
{
    const auto read = [path = m_file.path()] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    // Most starts: no file, or one without copies, told apart without decoding it or locking, and
    // without copying it: the file mapped, not read into memory the store reads it into next.
    {
        QFile file(m_file.path());
        if (!file.open(QIODevice::ReadOnly) || file.size() == 0) return;
        const uchar* mapped = file.map(0, file.size());
        const bool copies = mapped ? QByteArrayView(mapped, file.size()).contains("\"copies\"") : read().contains("\"copies\"");
        if (!copies) return;
    }
    const DataFolderLock lock(QFileInfo(m_file.path()).absolutePath());
    // Again under the lock: another program may have taken it over meanwhile.
    const QByteArray bytes = read();
    if (!bytes.contains("\"copies\"")) return;
    QMap<QUuid, QMap<QUuid, QList<CopiedPhoto>>> legacy;
    WorkspaceFile content;
    try {
        const QJsonObject settings = decodeObject(bytes).value(kSettings).toObject();
        for (auto it = settings.begin(); it != settings.end(); ++it)
            if (const std::optional<QUuid> id = uuid(it.key()))
                if (QMap<QUuid, QList<CopiedPhoto>> rows = legacyCopiesFromJson(it.value().toObject()); !rows.isEmpty())
                    legacy.insert(*id, std::move(rows));
        content = decodeWorkspaceFile(bytes);
    } catch (const std::exception&) {
        // An unreadable file is the store's to set aside, as any other.
        return;
    }
    if (legacy.isEmpty()) return;
    Database* db = database();
    // Without the database the copies stay in the file, read by nothing but not lost.
    if (!db) return;
    try {
        Database::Transaction write(*db);
        for (auto sheet = legacy.cbegin(); sheet != legacy.cend(); ++sheet)
            for (auto row = sheet->cbegin(); row != sheet->cend(); ++row)
                replaceRowCopies(*db, idText(sheet.key()), idText(row.key()), row.value());
        write.commit();
    } catch (const Error& error) {
        DataFileNotices::instance().post(error.message());
        return;
    }
    if (!writeFileAtomically(m_file.path(), encodeWorkspaceFile(content)))
        DataFileNotices::instance().post(DataFileNotices::notSavedMessage(m_file.path()));
}

SpreadsheetMacSettings WorkspaceStore::settings(const QUuid& spreadsheetID) const
{
    return m_settings.value(spreadsheetID);
}

void WorkspaceStore::store(const QUuid& spreadsheetID, const SpreadsheetMacSettings& settings)
{
    m_settings.insert(spreadsheetID, settings);
    persist();
    Q_EMIT settingsChanged(spreadsheetID);
}

WorkspaceFile WorkspaceStore::held() const
{
    return {m_settings, m_programmeName, m_lastDestinationBookmark, m_lastDestinationName, m_actionHistory};
}

void WorkspaceStore::hold(WorkspaceFile file)
{
    m_settings = std::move(file.settings);
    m_programmeName = std::move(file.programmeName);
    m_lastDestinationBookmark = std::move(file.lastDestinationBookmark);
    m_lastDestinationName = std::move(file.lastDestinationName);
    m_actionHistory = std::move(file.actionHistory);
}

void WorkspaceStore::persist() { m_file.save(); }

bool WorkspaceStore::takeIn(const WorkspaceFile& base, const WorkspaceFile& theirs)
{
    WorkspaceFile both = mergedWorkspaceFile(base, held(), theirs);
    QList<QUuid> changed;
    for (auto it = both.settings.cbegin(); it != both.settings.cend(); ++it)
        if (m_settings.value(it.key()) != it.value() || !m_settings.contains(it.key())) changed.push_back(it.key());
    for (auto it = m_settings.cbegin(); it != m_settings.cend(); ++it)
        if (!both.settings.contains(it.key())) changed.push_back(it.key());
    const bool historyMoved = both.actionHistory != m_actionHistory;
    hold(std::move(both));
    for (const QUuid& id : changed) Q_EMIT settingsChanged(id);
    if (historyMoved) Q_EMIT historyChanged();
    return !changed.isEmpty() || historyMoved;
}

QList<ProgrammeEvent> WorkspaceStore::events(const std::optional<QString>& dayName) const
{
    if (!dayName || !programme()) return {};
    for (const ProgrammeDay& day : programme()->days)
        if (day.name == *dayName) return day.events;
    return {};
}

std::optional<ProgrammeEvent> WorkspaceStore::selectedEvent(const QUuid& spreadsheetID) const
{
    const SpreadsheetMacSettings s = settings(spreadsheetID);
    if (!s.selectedEventID) return std::nullopt;
    for (const ProgrammeEvent& event : events(s.selectedDayName))
        if (event.id == *s.selectedEventID) return event;
    return std::nullopt;
}

void WorkspaceStore::selectDay(const std::optional<QString>& name, const QUuid& spreadsheetID)
{
    if (!name || name->isEmpty()) return;
    SpreadsheetMacSettings s = settings(spreadsheetID);
    s.selectedDayName = name;
    if (s.selectedEventID) {
        const QList<ProgrammeEvent> dayEvents = events(name);
        const bool kept = std::any_of(dayEvents.begin(), dayEvents.end(),
                                      [&](const ProgrammeEvent& e) { return e.id == *s.selectedEventID; });
        if (!kept) s.selectedEventID.reset();
    }
    store(spreadsheetID, s);
}

void WorkspaceStore::selectEvent(const std::optional<QString>& eventID, const QUuid& spreadsheetID)
{
    if (!eventID || eventID->isEmpty()) return;
    SpreadsheetMacSettings s = settings(spreadsheetID);
    s.selectedEventID = eventID;
    store(spreadsheetID, s);
}

void WorkspaceStore::setCompleted(bool flag, const QUuid& spreadsheetID)
{
    SpreadsheetMacSettings s = settings(spreadsheetID);
    s.isCompleted = flag;
    store(spreadsheetID, s);
}

void WorkspaceStore::markShot(const QUuid& spreadsheetID, const QDateTime& since)
{
    if (shotAt(since) == spreadsheetID) return;
    SpreadsheetMacSettings s = settings(spreadsheetID);
    s.shotSince.push_back(since);
    std::sort(s.shotSince.begin(), s.shotSince.end());
    store(spreadsheetID, s);
}

std::optional<QUuid> WorkspaceStore::shotAt(const QMap<QUuid, SpreadsheetMacSettings>& settings, const QDateTime& time)
{
    std::optional<QUuid> found;
    QDateTime latest;
    for (auto it = settings.begin(); it != settings.end(); ++it)
        for (const QDateTime& since : it->shotSince)
            if (since <= time && (!found || since > latest)) {
                found = it.key();
                latest = since;
            }
    return found;
}

void WorkspaceStore::setManualRider(const QUuid& spreadsheetID, const QString& assigned,
                                    const std::optional<QString>& lastName, const std::optional<QString>& firstName)
{
    const std::optional<QString> key = AssignedNumber::canonical(assigned);
    if (!key) return;
    SpreadsheetMacSettings s = settings(spreadsheetID);
    ManualRiderName name = s.manualRiders.value(*key);
    if (lastName) name.lastName = *lastName;
    if (firstName) name.firstName = *firstName;
    name.lastName = name.lastName.trimmed();
    name.firstName = name.firstName.trimmed();
    if (name.lastName.isEmpty() && name.firstName.isEmpty()) s.manualRiders.remove(*key);
    else s.manualRiders.insert(*key, name);
    store(spreadsheetID, s);
}

std::optional<ImportedPerson> WorkspaceStore::resolvedPerson(const QUuid& spreadsheetID, const QString& assigned,
                                                             const std::optional<ImportedPerson>& catalog) const
{
    const auto it = m_settings.constFind(spreadsheetID);
    if (it == m_settings.constEnd()) return catalog;
    return resolvedPerson(*it, AssignedNumber::canonical(assigned), catalog);
}

std::optional<ImportedPerson> WorkspaceStore::resolvedPerson(const SpreadsheetMacSettings& settings, const std::optional<QString>& canonical,
                                                             const std::optional<ImportedPerson>& catalog)
{
    if (!canonical) return catalog;
    const auto it = settings.manualRiders.constFind(*canonical);
    if (it == settings.manualRiders.constEnd()) return catalog;
    const QString last = it->lastName.trimmed(), first = it->firstName.trimmed();
    if (last.isEmpty() && first.isEmpty()) return catalog;
    return ImportedPerson{*canonical, first, last, 0};
}

void WorkspaceStore::recordOrganizer(const OrganizerReport& report, const QUuid& spreadsheetID, const QString& title)
{
    m_actionHistory.prepend(OrganizerHistoryEntry{QUuid::createUuid(), spreadsheetID, title, TavrinJSON::now(),
                                                  report.defaultHeadline(), report.messages});
    if (m_actionHistory.size() > maxHistoryEntries) m_actionHistory.resize(maxHistoryEntries);
    persist();
    Q_EMIT historyChanged();
}

void WorkspaceStore::rememberTransfers(const QList<PhotoGroup>& groups, const QUuid& spreadsheetID,
                                       const QHash<QUuid, QList<CopiedPhoto>>& placed)
{
    QMap<QUuid, RememberedPhotoTransfer> collected;
    for (const PhotoGroup& group : groups) {
        if (group.files.isEmpty()) continue;
        RememberedPhotoTransfer transfer{{}, group.rangeLabel()};
        for (const QString& file : group.files) transfer.fileNames.push_back(PathText::lastPathComponent(file).toString());
        collected.insert(group.row.id, transfer);
    }
    if (collected.isEmpty()) return;
    // The copies first: a crash before the file is written leaves copies remembered that are
    // indeed in the rider folders.
    if (Database* db = database()) {
        try {
            Database::Transaction write(*db);
            const QString sheet = idText(spreadsheetID);
            for (auto it = collected.cbegin(); it != collected.cend(); ++it)
                replaceRowCopies(*db, sheet, idText(it.key()), placed.value(it.key()));
            write.commit();
        } catch (const Error& error) {
            DataFileNotices::instance().post(error.message());
        }
    }
    SpreadsheetMacSettings s = settings(spreadsheetID);
    s.rememberedTransfers.insert(collected);
    store(spreadsheetID, s);
}

CopyMemory WorkspaceStore::rememberedCopies(const QUuid& spreadsheetID) const
{
    CopyMemory memory;
    Database* db = database();
    if (!db) return memory;
    try {
        Database::Statement read = db->statement("SELECT source, size, modified_ns, target, made FROM remembered_copies "
                                                 "WHERE spreadsheet = ? ORDER BY row, position");
        read.bind(1, idText(spreadsheetID));
        while (read.next())
            memory.insert(read.text(0), CopiedPhoto{read.text(0), read.integer(1), read.integer(2), read.text(3), read.integer(4) != 0});
    } catch (const Error& error) {
        // Forgetting is safe: the run reads the photos again.
        DataFileNotices::instance().post(error.message());
        memory.clear();
    }
    return memory;
}

void WorkspaceStore::forgetCopies(const QSet<QString>& targets, const QUuid& spreadsheetID)
{
    if (targets.isEmpty()) return;
    Database* db = database();
    if (!db) return;
    // The photo of each copy forgotten, by row.
    QHash<QUuid, QStringList> sources;
    try {
        Database::Transaction write(*db);
        const QString sheet = idText(spreadsheetID);
        for (const QString& target : targets) {
            {
                Database::Statement read = db->statement("SELECT row, source FROM remembered_copies WHERE spreadsheet = ? AND target = ?");
                read.bind(1, sheet).bind(2, target);
                while (read.next())
                    if (const std::optional<QUuid> row = uuid(read.text(0))) sources[*row].push_back(read.text(1));
            }
            db->statement("DELETE FROM remembered_copies WHERE spreadsheet = ? AND target = ?").bind(1, sheet).bind(2, target).run();
        }
        write.commit();
    } catch (const Error& error) {
        DataFileNotices::instance().post(error.message());
        return;
    }
    SpreadsheetMacSettings s = settings(spreadsheetID);
    bool touched = false;
    for (auto it = sources.cbegin(); it != sources.cend(); ++it) {
        const auto transfer = s.rememberedTransfers.find(it.key());
        if (transfer == s.rememberedTransfers.end()) continue;
        for (const QString& source : it.value()) {
            const QString name = PathText::lastPathComponent(source).toString();
            for (qsizetype i = transfer->fileNames.size() - 1; i >= 0; --i)
                if (transfer->fileNames[i].toString() == name) {
                    transfer->fileNames.removeAt(i);
                    touched = true;
                }
        }
    }
    if (touched) store(spreadsheetID, s);
}

void WorkspaceStore::forgetTransfers(const QSet<QUuid>& rowIDs, const QUuid& spreadsheetID)
{
    if (rowIDs.isEmpty()) return;
    if (Database* db = database()) {
        try {
            Database::Transaction write(*db);
            const QString sheet = idText(spreadsheetID);
            for (const QUuid& row : rowIDs)
                db->statement("DELETE FROM remembered_copies WHERE spreadsheet = ? AND row = ?").bind(1, sheet).bind(2, idText(row)).run();
            write.commit();
        } catch (const Error& error) {
            DataFileNotices::instance().post(error.message());
        }
    }
    SpreadsheetMacSettings s = settings(spreadsheetID);
    qsizetype removed = 0;
    for (const QUuid& row : rowIDs) removed += s.rememberedTransfers.remove(row);
    if (removed > 0) store(spreadsheetID, s);
}

QList<OrganizerHistorySection> WorkspaceStore::historySections() const
{
    QList<OrganizerHistorySection> sections;
    QHash<QUuid, qsizetype> position;
    for (const OrganizerHistoryEntry& entry : m_actionHistory) {
        auto it = position.constFind(entry.spreadsheetID);
        if (it == position.constEnd()) {
            it = position.insert(entry.spreadsheetID, sections.size());
            sections.push_back({entry.spreadsheetID, QStringLiteral("Tableur"), {}});
        }
        OrganizerHistorySection& section = sections[*it];
        section.entries.push_back(entry);
        // Walking from the newest, the title kept is that of the oldest entry.
        section.title = entry.spreadsheetTitle;
    }
    return sections;
}

void WorkspaceStore::restorePersistedChoices(const QUuid& spreadsheetID)
{
    SpreadsheetMacSettings s = settings(spreadsheetID);
    const SpreadsheetMacSettings before = s;
    if (!s.destinationBookmark && m_lastDestinationBookmark) {
        s.destinationBookmark = m_lastDestinationBookmark;
        s.destinationName = m_lastDestinationName;
    }
    if (s.selectedDayName && programme()) {
        const bool exact = std::any_of(programme()->days.begin(), programme()->days.end(),
                                       [&](const ProgrammeDay& d) { return d.name == *s.selectedDayName; });
        if (!exact)
            for (const ProgrammeDay& day : programme()->days)
                if (looselyEqual(day.name, *s.selectedDayName)) {
                    s.selectedDayName = day.name;
                    break;
                }
    }
    if (s.selectedEventID) {
        const QList<ProgrammeEvent> dayEvents = events(s.selectedDayName);
        const QString stored = *s.selectedEventID;
        const bool found = std::any_of(dayEvents.begin(), dayEvents.end(), [&](const ProgrammeEvent& e) { return e.id == stored; });
        if (!found)
            for (const ProgrammeEvent& event : dayEvents)
                if (event.title == stored || event.id.endsWith(u'|' + stored)) {
                    s.selectedEventID = event.id;
                    break;
                }
    }
    if (s != before) store(spreadsheetID, s);
    resolveFolder(FolderKind::source, spreadsheetID);
    resolveFolder(FolderKind::destination, spreadsheetID);
}

std::optional<QString> WorkspaceStore::resolveFolder(FolderKind kind, const QUuid& spreadsheetID)
{
    const SpreadsheetMacSettings s = settings(spreadsheetID);
    const std::optional<QByteArray>& bookmark = kind == FolderKind::source ? s.sourceBookmark : s.destinationBookmark;
    if (!bookmark) return std::nullopt;
    return m_access.resolve(*bookmark, this, [this, old = *bookmark](const QByteArray& fresh) { refreshStaleBookmark(old, fresh); });
}

void WorkspaceStore::storeFolder(const QString& path, FolderKind kind, const QUuid& spreadsheetID)
{
    m_access.retainAccess(path);
    const QByteArray bookmark = FolderReference::create(path);
    const QString name = PathText::lastPathComponent(FolderReference::standardizedPath(path)).toString();
    SpreadsheetMacSettings s = settings(spreadsheetID);
    if (kind == FolderKind::source) {
        s.sourceBookmark = bookmark;
        s.sourceName = name;
    } else {
        s.destinationBookmark = bookmark;
        s.destinationName = name;
        m_lastDestinationBookmark = bookmark;
        m_lastDestinationName = name;
    }
    store(spreadsheetID, s);
}

void WorkspaceStore::refreshStaleBookmark(const QByteArray& old, const QByteArray& fresh)
{
    if (fresh == old) return;
    QList<QUuid> changed;
    for (auto it = m_settings.begin(); it != m_settings.end(); ++it) {
        bool touched = false;
        for (std::optional<QByteArray>* bookmark : {&it->importBookmark, &it->sourceBookmark, &it->destinationBookmark})
            if (*bookmark == old) {
                *bookmark = fresh;
                touched = true;
            }
        if (touched) changed.push_back(it.key());
    }
    if (m_lastDestinationBookmark == old) m_lastDestinationBookmark = fresh;
    persist();
    for (const QUuid& id : changed) Q_EMIT settingsChanged(id);
}

} // namespace tavrin
