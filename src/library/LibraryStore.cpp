#include "library/LibraryStore.h"

#include "base/AppSupport.h"
#include "base/TavrinJSON.h"
#include "base/TavrinTheme.h"
#include "base/UserDefaults.h"
#include "library/LibraryIndex.h"
#include "library/LibraryJournal.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace tavrin {

namespace {

// Measured: below this a whole write costs about what an append does.
qsizetype s_journalFromSize = 256 * 1024;

JsonFile::Version versionOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return {true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

QByteArray readWhole(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 nextSortIndex(const QList<DayRecord>& days)
{
    qint64 largest = -1;
    for (const DayRecord& d : days) largest = std::max(largest, d.sortIndex);
    return largest + 1;
}

} // namespace

LibraryStore::LibraryStore(QObject* parent)
    : QObject(parent),
      m_libraryFile(AppSupport::fileInFolder(QStringLiteral("library.json")),
                    {decodeLibrary, [this] { return encodeLibrary(m_snapshot); },
                     [this](const LibrarySnapshot& base, const LibrarySnapshot& theirs) { return takeIn(base, theirs); },
                     LibrarySnapshot::empty}),
      m_uiStateFile(AppSupport::fileInFolder(QStringLiteral("ui-state.json")))
{
    m_journalPath = AppSupport::fileInFolder(QStringLiteral("library.journal"));
    m_snapshot = m_libraryFile.load().value_or(LibrarySnapshot::empty());
    // Edits a window saved only to the journal before it stopped; the journal stays unknown to
    // this store, so that its first write folds it into the whole file.
    if (QFile::exists(m_journalPath)) LibraryJournal::apply(m_snapshot, readWhole(m_journalPath));
    m_onDisk = m_snapshot;
    m_compactTimer.setSingleShot(true);
    m_compactTimer.setInterval(250);
    connect(&m_compactTimer, &QTimer::timeout, this, &LibraryStore::compact);
    m_uiState = m_uiStateFile
                    .load<PersistedUIState>([](const QByteArray& data) {
                        return persistedUIStateFromJson(TavrinJSON::decodeObject(data));
                    })
                    .value_or(PersistedUIState{});
    // What is on disk already holds this state: a command that leaves it alone writes nothing.
    if (!m_uiStateFile.holdsUnreadableFile()) m_writtenUIState = TavrinJSON::encode(toJson(m_uiState));
    m_appearance = appearancePreferenceFrom(UserDefaults::standard().string(kAppearanceKey).value_or(QString()));
}

LibraryStore::~LibraryStore()
{
    m_compactor.cancelAll();
    m_compactor.waitForDone();
    // The journal stays: whoever opens the library next reads it.
    if (m_compacting) QFile::remove(m_libraryFile.path() + QStringLiteral(".compacting"));
}

void LibraryStore::setJournalFromSize(qsizetype bytes) { s_journalFromSize = bytes; }

void LibraryStore::setUIState(const PersistedUIState& state)
{
    if (state == m_uiState) return;
    m_uiState = state;
    Q_EMIT uiStateChanged();
}

qsizetype LibraryStore::indexOfSpreadsheet(const QUuid& id) const
{
    for (qsizetype i = 0; i < m_snapshot.spreadsheets.size(); ++i)
        if (m_snapshot.spreadsheets[i].id == id) return i;
    return -1;
}

void LibraryStore::writeUIState()
{
    const QByteArray data = TavrinJSON::encode(toJson(m_uiState));
    // An identical file is already on disk (or none, holding nothing): skipping the rewrite keeps
    // every keystroke to one fsync and leaves the file alone for commands that do not touch it.
    const bool onDisk = QFile::exists(m_uiStateFile.path()) || m_uiState == PersistedUIState{};
    if (data == m_writtenUIState && !m_uiStateFile.holdsUnreadableFile() && onDisk) return;
    if (m_uiStateFile.write(data)) m_writtenUIState = data;
}

void LibraryStore::persist(bool notify, const std::optional<QUuid>& dirtying, bool whole, const QUuid& changedOnly)
{
    if (dirtying) {
        PersistedUIState state = m_uiState;
        state.syncedSpreadsheetIDs.removeAll(*dirtying);
        setUIState(state);
        writeUIState();
    }
    m_snapshot.updatedAt = TavrinJSON::now();
    m_snapshot.version = 1;
    const bool tookInOthers = !whole && appendToJournal() ? false : saveWhole();
    // Another program's changes may touch any spreadsheet.
    Q_EMIT snapshotChanged(tookInOthers ? QUuid() : dirtying.value_or(changedOnly));
    if (notify && !m_isApplyingRemote && onChange) onChange();
}

bool LibraryStore::appendToJournal()
{
    if (!m_journaling || m_libraryFile.writtenSize() < s_journalFromSize) return false;
    const DataFolderLock held = m_libraryFile.lock();
    // Another program wrote meanwhile: the whole write takes its version in.
    if (m_libraryFile.changedOnDisk() || m_libraryFile.holdsUnreadableFile() || versionOf(m_journalPath) != m_journalKnown)
        return false;
    bool expressible = true;
    const QByteArray line = LibraryJournal::line(m_onDisk, m_snapshot, &expressible);
    if (!expressible) return false;
    if (line.isEmpty()) return true;
    // Even a line as large as a phone's library costs the main thread less than the whole file
    // would: the whole write is the fold's, in the background.
    if (!LibraryJournal::append(m_journalPath, line)) return false;
    m_journalKnown = versionOf(m_journalPath);
    m_onDisk = m_snapshot;
    if (!m_compactTimer.isActive()) m_compactTimer.start();
    return true;
}

bool LibraryStore::takeInJournal()
{
    const JsonFile::Version now = versionOf(m_journalPath);
    if (now == m_journalKnown) return false;
    m_journalKnown = now;
    if (!now.exists) return false;
    // Lines hold whole records: applied again over what this store already took in, they change
    // only what another program appended.
    LibrarySnapshot theirs = m_onDisk;
    LibraryJournal::apply(theirs, readWhole(m_journalPath));
    const LibrarySnapshot base = std::exchange(m_onDisk, theirs);
    return takeIn(base, theirs);
}

bool LibraryStore::saveWhole()
{
    const DataFolderLock held = m_libraryFile.lock();
    const bool fromJournal = takeInJournal();
    const auto saved = m_libraryFile.save();
    if (saved.saved) {
        if (m_journalKnown.exists) QFile::remove(m_journalPath);
        m_journalKnown = versionOf(m_journalPath);
        m_onDisk = m_snapshot;
        m_compactTimer.stop();
        writeIndex();
    }
    return fromJournal || saved.tookIn;
}

void LibraryStore::writeIndex()
{
    if (m_libraryFile.knownVersion() == m_indexed || !m_libraryFile.knownVersion().exists) return;
    m_indexed = m_libraryFile.knownVersion();
    LibraryIndex::write(AppSupport::fileInFolder(QStringLiteral("library.index")),
                        LibraryIndex::encode(m_indexed, m_onDisk, m_libraryFile.writtenBytes()));
}

void LibraryStore::compact()
{
    if (!m_journalKnown.exists) return;
    if (m_compacting) {
        m_compactTimer.start();
        return;
    }
    m_compacting = true;
    const QString prepared = m_libraryFile.path() + QStringLiteral(".compacting");
    const JsonFile::Version journal = m_journalKnown;
    // Encoding and syncing the whole library is the slow part: off the main thread, from a copy
    // that shares the records.
    m_compactor.run(
        QStringLiteral("compaction"),
        [state = m_onDisk, prepared](const JobContext&) -> std::optional<std::pair<QByteArray, QByteArray>> {
            QByteArray data = encodeLibrary(state);
            QFile file(prepared);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size() || !file.flush()
                || ::fsync(file.handle()) != 0)
                return std::nullopt;
            file.close();
            // Renaming keeps the file's identity and time: the index can name it already.
            QByteArray index = LibraryIndex::encode(versionOf(prepared), state, data);
            return std::pair{std::move(data), std::move(index)};
        },
        [this, prepared, journal](const std::optional<std::pair<QByteArray, QByteArray>>& made) {
            m_compacting = false;
            const DataFolderLock held = m_libraryFile.lock();
            // Only when nothing was appended since the copy and nobody replaced the file.
            if (made && versionOf(m_journalPath) == journal && m_journalKnown == journal
                && m_libraryFile.replaceWithPrepared(prepared, made->first)) {
                QFile::remove(m_journalPath);
                m_journalKnown = versionOf(m_journalPath);
                m_indexed = m_libraryFile.knownVersion();
                LibraryIndex::write(AppSupport::fileInFolder(QStringLiteral("library.index")), made->second);
                return;
            }
            QFile::remove(prepared);
            if (m_journalKnown.exists) m_compactTimer.start();
        });
}

void LibraryStore::ensureTrailingBlankRow(const QUuid& spreadsheetID)
{
    // Looked up again: a write may have taken in another program's spreadsheets.
    const qsizetype index = indexOfSpreadsheet(spreadsheetID);
    if (index < 0) return;
    SpreadsheetRecord& sheet = m_snapshot.spreadsheets[index];
    if (sheet.rows.isEmpty() || sheet.rows.last().isBlank()) return;
    sheet.rows.push_back(RowRecord::blank());
    persist(true, sheet.id);
}

DayRecord LibraryStore::addDay(const std::optional<QString>& name)
{
    const EditGroup step(*this);
    const QDateTime now = TavrinJSON::now();
    QString trimmed = name ? name->trimmed() : QString();
    if (trimmed.isEmpty()) trimmed = TavrinTheme::defaultDayName(now);
    DayRecord day{QUuid::createUuid(), trimmed, now, nextSortIndex(m_snapshot.days)};
    m_snapshot.days.push_back(day);
    persist(true, std::nullopt);
    return day;
}

void LibraryStore::renameDay(const QUuid& id, const QString& name)
{
    const EditGroup step(*this);
    for (DayRecord& d : m_snapshot.days) {
        if (d.id == id) {
            d.name = name.trimmed();
            persist(true, std::nullopt);
            return;
        }
    }
}

void LibraryStore::deleteDay(const QUuid& id)
{
    const EditGroup step(*this);
    m_snapshot.days.removeIf([&](const DayRecord& d) { return d.id == id; });
    m_snapshot.spreadsheets.removeIf([&](const SpreadsheetRecord& s) { return s.dayID == id; });
    persist(true, std::nullopt);
}

SpreadsheetRecord LibraryStore::addSpreadsheet(const QUuid& dayID, const QString& title)
{
    const EditGroup step(*this);
    const QDateTime now = TavrinJSON::now();
    QString trimmed = title.trimmed();
    if (trimmed.isEmpty()) trimmed = QStringLiteral("Nouveau tableur");
    SpreadsheetRecord sheet{QUuid::createUuid(), dayID, trimmed, now, now, true, {RowRecord::blank()}};
    m_snapshot.spreadsheets.push_back(sheet);
    persist(true, sheet.id);
    return sheet;
}

void LibraryStore::renameSpreadsheet(const QUuid& id, const QString& title)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(id);
    if (i < 0) return;
    m_snapshot.spreadsheets[i].title = title.trimmed();
    m_snapshot.spreadsheets[i].updatedAt = TavrinJSON::now();
    persist(true, id);
}

void LibraryStore::deleteSpreadsheet(const QUuid& id)
{
    const EditGroup step(*this);
    m_snapshot.spreadsheets.removeIf([&](const SpreadsheetRecord& s) { return s.id == id; });
    if (m_uiState.syncedSpreadsheetIDs.contains(id)) {
        PersistedUIState state = m_uiState;
        state.syncedSpreadsheetIDs.removeAll(id);
        setUIState(state);
    }
    persist(true, std::nullopt);
}

std::optional<RowRecord> LibraryStore::addRow(const QUuid& spreadsheetID)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(spreadsheetID);
    if (i < 0) return std::nullopt;
    const RowRecord row = RowRecord::blank();
    m_snapshot.spreadsheets[i].rows.push_back(row);
    m_snapshot.spreadsheets[i].updatedAt = TavrinJSON::now();
    persist(true, spreadsheetID);
    return row;
}

std::optional<RowRecord> LibraryStore::insertRow(const QUuid& spreadsheetID, const QUuid& rowID, bool before)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(spreadsheetID);
    if (i < 0) return std::nullopt;
    SpreadsheetRecord& sheet = m_snapshot.spreadsheets[i];
    const auto it = std::find_if(sheet.rows.cbegin(), sheet.rows.cend(), [&](const RowRecord& r) { return r.id == rowID; });
    if (it == sheet.rows.cend()) return std::nullopt;
    const qsizetype at = std::min<qsizetype>((it - sheet.rows.cbegin()) + (before ? 0 : 1), sheet.rows.size());
    const RowRecord row = RowRecord::blank();
    sheet.rows.insert(at, row);
    sheet.updatedAt = TavrinJSON::now();
    persist(true, spreadsheetID);
    return row;
}

void LibraryStore::updateRow(const QUuid& spreadsheetID, const QUuid& rowID, const std::optional<QString>& photoNumber,
                             const std::optional<QString>& assignedNumber)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(spreadsheetID);
    if (i < 0) return;
    SpreadsheetRecord& sheet = m_snapshot.spreadsheets[i];
    const auto it = std::find_if(sheet.rows.begin(), sheet.rows.end(), [&](const RowRecord& r) { return r.id == rowID; });
    if (it == sheet.rows.end()) return;
    if (photoNumber) it->photoNumber = *photoNumber;
    if (assignedNumber) it->assignedNumber = *assignedNumber;
    sheet.updatedAt = TavrinJSON::now();
    persist(true, spreadsheetID);
    ensureTrailingBlankRow(spreadsheetID);
}

void LibraryStore::updateRows(const QUuid& spreadsheetID, const QUuid& firstRowID, const QList<RowPatch>& patches)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(spreadsheetID);
    if (i < 0 || patches.isEmpty()) return;
    SpreadsheetRecord& sheet = m_snapshot.spreadsheets[i];
    const auto it = std::find_if(sheet.rows.cbegin(), sheet.rows.cend(), [&](const RowRecord& r) { return r.id == firstRowID; });
    if (it == sheet.rows.cend()) return;
    qsizetype at = it - sheet.rows.cbegin();
    for (const RowPatch& patch : patches) {
        if (at == sheet.rows.size()) sheet.rows.push_back(RowRecord::blank());
        RowRecord& row = sheet.rows[at++];
        if (patch.photoNumber) row.photoNumber = *patch.photoNumber;
        if (patch.assignedNumber) row.assignedNumber = *patch.assignedNumber;
    }
    if (!sheet.rows.last().isBlank()) sheet.rows.push_back(RowRecord::blank());
    sheet.updatedAt = TavrinJSON::now();
    persist(true, spreadsheetID);
}

void LibraryStore::placeRows(QList<RowRecord>& sheetRows, const QList<NewRow>& rows, QList<QUuid>& made)
{
    for (const NewRow& wanted : rows) {
        RowRecord row = RowRecord::blank();
        row.photoNumber = wanted.numbers.photoNumber.value_or(QString());
        row.assignedNumber = wanted.numbers.assignedNumber.value_or(QString());
        qsizetype at = -1;
        if (!wanted.before.isNull())
            for (qsizetype k = 0; k < sheetRows.size() && at < 0; ++k)
                if (sheetRows[k].id == wanted.before) at = k;
        if (at < 0) {
            at = sheetRows.size();
            while (at > 0 && sheetRows[at - 1].isBlank()) --at;
        }
        sheetRows.insert(at, row);
        made.push_back(row.id);
    }
    if (!sheetRows.last().isBlank()) sheetRows.push_back(RowRecord::blank());
}

QList<QUuid> LibraryStore::insertRows(const QUuid& spreadsheetID, const QList<NewRow>& rows)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(spreadsheetID);
    if (i < 0 || rows.isEmpty()) return {};
    QList<QUuid> made;
    placeRows(m_snapshot.spreadsheets[i].rows, rows, made);
    m_snapshot.spreadsheets[i].updatedAt = TavrinJSON::now();
    persist(true, spreadsheetID);
    return made;
}

std::optional<QList<QUuid>> LibraryStore::insertRowsThroughJournal(const std::function<QUuid(const LibrarySnapshot&)>& resolve,
                                                                   const QList<NewRow>& rows)
{
    const QString filePath = AppSupport::fileInFolder(QStringLiteral("library.json"));
    const QString journalPath = AppSupport::fileInFolder(QStringLiteral("library.journal"));
    // Held from reading to appending, as any writer of the library.
    const DataFolderLock held(AppSupport::folder());
    const std::optional<LibraryIndex::Index> index = LibraryIndex::decode(readWhole(AppSupport::fileInFolder(QStringLiteral("library.index"))));
    if (!index || index->file != versionOf(filePath)) return std::nullopt;
    // The spreadsheets as the index names them (no creation date: not read yet), then the journal.
    LibrarySnapshot catalogue;
    catalogue.spreadsheets.reserve(index->spreadsheets.size());
    QHash<QUuid, const LibraryIndex::Entry*> entries;
    for (const LibraryIndex::Entry& e : index->spreadsheets) {
        catalogue.spreadsheets.push_back(SpreadsheetRecord{e.id, e.dayID, e.title, {}, {}, true, {}});
        entries.insert(e.id, &e);
    }
    LibraryJournal::apply(catalogue, readWhole(journalPath));
    const QUuid id = resolve(catalogue);
    const auto it = std::find_if(catalogue.spreadsheets.cbegin(), catalogue.spreadsheets.cend(),
                                 [&](const SpreadsheetRecord& s) { return s.id == id; });
    if (it == catalogue.spreadsheets.cend()) return std::nullopt;
    SpreadsheetRecord sheet = *it;
    if (!sheet.createdAt.isValid()) {
        const LibraryIndex::Entry* entry = entries.value(id);
        QFile file(filePath);
        if (!entry || !file.open(QIODevice::ReadOnly) || !file.seek(entry->start)) return std::nullopt;
        try {
            sheet = spreadsheetRecordFromJson(TavrinJSON::decodeObject(file.read(entry->end - entry->start)));
        } catch (const std::exception&) {
            return std::nullopt;
        }
        if (sheet.id != id) return std::nullopt;
    }
    QList<QUuid> made;
    if (rows.isEmpty()) return made;
    LibrarySnapshot before;
    before.spreadsheets = {sheet};
    placeRows(sheet.rows, rows, made);
    sheet.updatedAt = TavrinJSON::now();
    LibrarySnapshot after;
    after.spreadsheets = {sheet};
    after.updatedAt = sheet.updatedAt;
    if (!LibraryJournal::append(journalPath, LibraryJournal::line(before, after))) return std::nullopt;

    // As every edit does: the spreadsheet is no longer as it was synced.
    JsonFile uiStateFile(AppSupport::fileInFolder(QStringLiteral("ui-state.json")));
    const auto state = uiStateFile.load<PersistedUIState>(
        [](const QByteArray& data) { return persistedUIStateFromJson(TavrinJSON::decodeObject(data)); });
    if (state && state->syncedSpreadsheetIDs.contains(id)) {
        PersistedUIState changed = *state;
        changed.syncedSpreadsheetIDs.removeAll(id);
        uiStateFile.write(TavrinJSON::encode(toJson(changed)));
    }
    return made;
}

void LibraryStore::deleteRow(const QUuid& spreadsheetID, const QUuid& rowID)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(spreadsheetID);
    if (i < 0) return;
    SpreadsheetRecord& sheet = m_snapshot.spreadsheets[i];
    sheet.rows.removeIf([&](const RowRecord& r) { return r.id == rowID; });
    if (sheet.rows.isEmpty()) sheet.rows.push_back(RowRecord::blank());
    sheet.updatedAt = TavrinJSON::now();
    persist(true, spreadsheetID);
}

void LibraryStore::replaceFromRemote(const LibrarySnapshot& incoming)
{
    const bool incomingEmpty = incoming.days.isEmpty() && incoming.spreadsheets.isEmpty();
    const bool localFilled = !m_snapshot.days.isEmpty() || !m_snapshot.spreadsheets.isEmpty();
    if (incomingEmpty && localFilled) return;
    // A phone sends its whole library at every link and every hello: most of it is known here
    // already, and what the merge gives back unchanged is neither written nor shown again.
    QList<QUuid> touched;
    bool daysChanged = false;
    if (!mergeInto(m_snapshot, incoming, touched, daysChanged)) return;
    m_isApplyingRemote = true;
    persist(false, std::nullopt, false, touched.size() == 1 && !daysChanged ? touched.first() : QUuid());
    m_isApplyingRemote = false;
}

bool LibraryStore::takeIn(const LibrarySnapshot& base, const LibrarySnapshot& theirs)
{
    // Another program's changes are no part of the step being recorded: the state before it
    // takes them in too, so that undoing the step leaves them.
    if (m_stepDepth > 0) m_openStep.before = threeWayMerged(base, m_openStep.before, theirs);
    LibrarySnapshot both = threeWayMerged(base, m_snapshot, theirs);
    if (both == m_snapshot) return false;
    m_snapshot = std::move(both);
    return true;
}

void LibraryStore::followDiskChanges()
{
    m_journaling = true;
    m_libraryFile.follow(this, [this] { reloadIfChanged(); });
}

bool LibraryStore::reloadIfChanged()
{
    const bool fileMoved = m_libraryFile.changedOnDisk();
    const auto taken = m_libraryFile.reload();
    const bool fromJournal = takeInJournal();
    const bool changed = taken.changed || fromJournal;
    // Changes of ours that never reached the disk go there now; so does a journal that would
    // otherwise be read over another program's file.
    if ((changed && taken.heldMore) || (fileMoved && m_journalKnown.exists)) {
        persist(false, std::nullopt, true);
        return true;
    }
    if (fileMoved) m_onDisk = m_snapshot;
    // A command line's rows, appended to the journal: folded in with ours.
    if (fromJournal && m_journaling && !m_compactTimer.isActive()) m_compactTimer.start();
    if (changed) Q_EMIT snapshotChanged(QUuid());
    return changed;
}

void LibraryStore::setAppearance(AppearancePreference appearance)
{
    if (appearance != m_appearance) {
        m_appearance = appearance;
        Q_EMIT appearanceChanged();
    }
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setString(kAppearanceKey, rawValue(appearance));
    defaults.synchronize();
}

void LibraryStore::updateUIState(const std::optional<QUuid>& selectedDayID, const std::optional<QUuid>& selectedSpreadsheetID)
{
    const PersistedUIState state{selectedDayID, selectedSpreadsheetID, m_uiState.syncedSpreadsheetIDs};
    if (state == m_uiState) return;
    setUIState(state);
    writeUIState();
}

void LibraryStore::flush()
{
    persist(false, std::nullopt, m_journalKnown.exists || QFile::exists(m_journalPath));
    writeUIState();
    UserDefaults::standard().synchronize();
}

void LibraryStore::setImportBanner(const QString& banner)
{
    m_lastImportBanner = banner;
    ++m_importGeneration;
    Q_EMIT importGenerationChanged();
}

std::optional<QString> LibraryStore::importTavrinFile(const QString& path)
{
    if (QFileInfo(path).suffix().toLower() != u"tavrin") return std::nullopt;
    TavrinTransferPackage package;
    try {
        QFile file(path);
        // No transfer file comes near the size of a whole library file; a larger one is not read.
        if (!file.open(QIODevice::ReadOnly) || file.size() > JsonFile::maxSize) throw Error(kImportFailedBanner);
        package = transferPackageFromJson(TavrinJSON::decodeObject(file.readAll()));
    } catch (const std::exception&) {
        setImportBanner(kImportFailedBanner);
        return kImportFailedBanner;
    }
    mergeImported(package);
    QString banner;
    if (package.kind == TavrinTransferPackage::Kind::spreadsheet) {
        const QString title = package.spreadsheets.isEmpty() ? package.day.name : package.spreadsheets.first().title;
        banner = QStringLiteral("Tableur « ") + title + QStringLiteral(" » importé");
    } else if (package.spreadsheets.isEmpty()) {
        banner = QStringLiteral("Jour « ") + package.day.name + QStringLiteral(" » importé");
    } else {
        const qsizetype n = package.spreadsheets.size();
        banner = QStringLiteral("Jour « ") + package.day.name + QStringLiteral(" » importé · ") + QString::number(n)
                 + QStringLiteral(" tableur") + (n == 1 ? QString() : QStringLiteral("s"));
    }
    setImportBanner(banner);
    return banner;
}

void LibraryStore::mergeImported(const TavrinTransferPackage& package)
{
    m_isApplyingRemote = true;
    const QUuid dayID = package.day.id;
    if (!m_snapshot.day(dayID)) {
        DayRecord day = package.day;
        day.sortIndex = nextSortIndex(m_snapshot.days);
        m_snapshot.days.push_back(day);
    }
    for (SpreadsheetRecord sheet : package.spreadsheets) {
        sheet.dayID = dayID;
        const qsizetype i = indexOfSpreadsheet(sheet.id);
        if (i >= 0) m_snapshot.spreadsheets[i] = mergedSpreadsheet(m_snapshot.spreadsheets[i], sheet);
        else m_snapshot.spreadsheets.push_back(sheet);
    }
    PersistedUIState state = m_uiState;
    state.selectedDayID = dayID;
    if (!package.spreadsheets.isEmpty()) state.selectedSpreadsheetID = package.spreadsheets.first().id;
    setUIState(state);
    writeUIState();
    persist(false, std::nullopt);
    m_isApplyingRemote = false;
}

} // namespace tavrin
