#include "library/LibraryStore.h"

#include "base/AppSupport.h"
#include "base/TavrinJSON.h"
#include "base/TavrinTheme.h"
#include "base/UserDefaults.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tavrin {

namespace {

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
    m_snapshot = m_libraryFile.load().value_or(LibrarySnapshot::empty());
    m_uiState = m_uiStateFile
                    .load<PersistedUIState>([](const QByteArray& data) {
                        return persistedUIStateFromJson(TavrinJSON::decodeObject(data));
                    })
                    .value_or(PersistedUIState{});
    m_appearance = appearancePreferenceFrom(UserDefaults::standard().string(kAppearanceKey).value_or(QString()));
}

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
    // An identical file is already on disk; skipping the rewrite keeps every keystroke to one fsync.
    if (data == m_writtenUIState && !m_uiStateFile.holdsUnreadableFile() && QFile::exists(m_uiStateFile.path())) return;
    if (m_uiStateFile.write(data)) m_writtenUIState = data;
}

void LibraryStore::persist(bool notify, const std::optional<QUuid>& dirtying)
{
    if (dirtying) {
        PersistedUIState state = m_uiState;
        state.syncedSpreadsheetIDs.removeAll(*dirtying);
        setUIState(state);
        writeUIState();
    }
    m_snapshot.updatedAt = TavrinJSON::now();
    m_snapshot.version = 1;
    const bool tookInOthers = m_libraryFile.save().tookIn;
    // Another program's changes may touch any spreadsheet.
    Q_EMIT snapshotChanged(tookInOthers ? QUuid() : dirtying.value_or(QUuid()));
    if (notify && !m_isApplyingRemote && onChange) onChange();
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

QList<QUuid> LibraryStore::insertRows(const QUuid& spreadsheetID, const QList<NewRow>& rows)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(spreadsheetID);
    if (i < 0 || rows.isEmpty()) return {};
    QList<RowRecord>& sheetRows = m_snapshot.spreadsheets[i].rows;
    QList<QUuid> made;
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
    m_snapshot.spreadsheets[i].updatedAt = TavrinJSON::now();
    persist(true, spreadsheetID);
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
    m_isApplyingRemote = true;
    m_snapshot = merged(m_snapshot, incoming);
    m_snapshot.version = 1;
    persist(false, std::nullopt);
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
    m_libraryFile.follow(this, [this] { reloadIfChanged(); });
}

bool LibraryStore::reloadIfChanged()
{
    const auto taken = m_libraryFile.reload();
    if (!taken.changed) return false;
    // Changes of ours that never reached the disk go there now.
    if (taken.heldMore) persist(false, std::nullopt);
    else Q_EMIT snapshotChanged(QUuid());
    return true;
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
    persist(false, std::nullopt);
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
