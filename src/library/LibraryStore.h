#pragma once

#include "base/AppearancePreference.h"
#include "base/BackgroundJobs.h"
#include "base/JsonFile.h"
#include "base/SharedJsonFile.h"
#include "base/PersistedUIState.h"
#include "library/LibrarySnapshot.h"
#include "library/TavrinTransferPackage.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

namespace tavrin {

// The single owner of the library, the persisted selection and the appearance. Every edit goes
// through one of its operations, which writes "library.json" at once; in the window, once the
// file is large, an edit appends its records to "library.journal" instead and the whole file is
// written again in the background within a second (LibraryJournal).
class LibraryStore : public QObject {
    Q_OBJECT

public:
    explicit LibraryStore(QObject* parent = nullptr);
    ~LibraryStore() override;

    // From this size of "library.json" on, a following store journals its edits.
    static void setJournalFromSize(qsizetype bytes);
    QString journalPath() const { return m_journalPath; }

    const LibrarySnapshot& snapshot() const { return m_snapshot; }
    AppearancePreference appearance() const { return m_appearance; }
    const PersistedUIState& uiState() const { return m_uiState; }
    // Assigning an equal state does not notify.
    void setUIState(const PersistedUIState& state);
    const std::optional<QString>& lastImportBanner() const { return m_lastImportBanner; }
    qint64 importGeneration() const { return m_importGeneration; }
    QString fileURL() const { return m_libraryFile.path(); }
    QString uiStateURL() const { return m_uiStateFile.path(); }

    // Called after local edits, never while a peer's library or a transfer file is merged.
    std::function<void()> onChange;
    // True while a peer's library or a transfer file is merged: the changes then announced were
    // not typed here.
    bool isApplyingRemote() const { return m_isApplyingRemote; }

    DayRecord addDay(const std::optional<QString>& name = std::nullopt);
    void renameDay(const QUuid& id, const QString& name);
    void deleteDay(const QUuid& id);
    SpreadsheetRecord addSpreadsheet(const QUuid& dayID, const QString& title);
    void renameSpreadsheet(const QUuid& id, const QString& title);
    void deleteSpreadsheet(const QUuid& id);
    std::optional<RowRecord> addRow(const QUuid& spreadsheetID);
    std::optional<RowRecord> insertRow(const QUuid& spreadsheetID, const QUuid& rowID, bool before);
    void updateRow(const QUuid& spreadsheetID, const QUuid& rowID, const std::optional<QString>& photoNumber,
                   const std::optional<QString>& assignedNumber);
    void deleteRow(const QUuid& spreadsheetID, const QUuid& rowID);
    // A pasted block of numbers: patch k goes to the k-th row from firstRowID, rows are added
    // past the end as needed, and the library is written once.
    struct RowPatch {
        std::optional<QString> photoNumber;
        std::optional<QString> assignedNumber;
    };
    void updateRows(const QUuid& spreadsheetID, const QUuid& firstRowID, const QList<RowPatch>& patches);
    // New rows holding the given numbers, each placed just before the row named by `before`, or
    // when it is null (or names no row) after the last filled row, ahead of the blank rows that
    // end the spreadsheet: a blank row someone may be typing into is never filled by them.
    // Written once, one step; returns the new rows' identifiers in the given order.
    struct NewRow {
        QUuid before;
        RowPatch numbers;
    };
    QList<QUuid> insertRows(const QUuid& spreadsheetID, const QList<NewRow>& rows);
    // insertRows for a command line, without reading the whole library: the spreadsheet that
    // `resolve` picks among them (it throws when none fits) is read alone, through the index, and
    // its new rows go to the journal, which a process started here folds into the file. None when
    // the index does not describe the file as it is: the caller then opens the library.
    static std::optional<QList<QUuid>> insertRowsThroughJournal(const std::function<QUuid(const LibrarySnapshot&)>& resolve,
                                                                const QList<NewRow>& rows);

    // Undo and redo of the notes: one step per local action (typing a cell, a paste, a cleared
    // block, a row inserted or deleted, a rename, a deletion). A step keeps the library just
    // before and just after the action; undoing merges the way back into the library as it is
    // now, so what a phone, a transfer file or another program brought meanwhile stays.
    struct NotesFocus {
        std::optional<QUuid> dayID;
        std::optional<QUuid> spreadsheetID;
        std::optional<QUuid> rowID;
    };
    static constexpr qsizetype maxNotesSteps = 200;
    bool canUndo() const { return !m_undoSteps.isEmpty(); }
    bool canRedo() const { return !m_redoSteps.isEmpty(); }
    // What the step undone or redone touched, to show it; none when there was nothing to do.
    std::optional<NotesFocus> undo();
    std::optional<NotesFocus> redo();
    // The last step recorded (0 before any), and undoing that one step wherever it now stands
    // in the history (the banner that follows a deletion); false when it is no longer there.
    quint64 lastStepID() const { return m_undoSteps.isEmpty() ? 0 : m_undoSteps.last().id; }
    std::optional<NotesFocus> undoStep(quint64 id);
    bool canUndoStep(quint64 id) const;
    // Makes the edits done while it lives one step (a block cleared cell by cell).
    class EditGroup {
    public:
        explicit EditGroup(LibraryStore& store) : m_store(store) { m_store.beginStep(); }
        ~EditGroup() { m_store.endStep(); }
        EditGroup(const EditGroup&) = delete;
        EditGroup& operator=(const EditGroup&) = delete;

    private:
        LibraryStore& m_store;
    };

    // Merges a library received from a phone: incoming row contents win, nothing is deleted,
    // and the change hook is not called so nothing is ever sent back.
    void replaceFromRemote(const LibrarySnapshot& incoming);

    void setAppearance(AppearancePreference appearance);
    void updateUIState(const std::optional<QUuid>& selectedDayID, const std::optional<QUuid>& selectedSpreadsheetID);
    void flush();

    // Imports a ".tavrin" file (any case); returns the banner, or none for another extension.
    std::optional<QString> importTavrinFile(const QString& path);
    void mergeImported(const TavrinTransferPackage& package);

    // Another program (tavrin-cli, a second window) may write "library.json" too: every write
    // first takes in a version written meanwhile, and the window follows such writes as they
    // happen.
    void followDiskChanges();
    // Takes in the file when another program wrote it; true when the library changed.
    bool reloadIfChanged();
    // Both sides' changes since `base`, record by record; for a value both sides changed, ours.
    static LibrarySnapshot threeWayMerged(const LibrarySnapshot& base, const LibrarySnapshot& ours,
                                          const LibrarySnapshot& theirs);

    static LibrarySnapshot merged(const LibrarySnapshot& local, const LibrarySnapshot& incoming);
    // The same merge done in `local`, at the cost of the incoming library: only the incoming
    // spreadsheets are looked at, and one the merge would give back unchanged (but for the new
    // identifier of its last, blank row) is left as it is. Says which spreadsheets changed, and
    // whether anything did.
    static bool mergeInto(LibrarySnapshot& local, const LibrarySnapshot& incoming, QList<QUuid>& touched, bool& daysChanged);
    static QList<RowRecord> mergedRows(const QList<RowRecord>& local, const QList<RowRecord>& incoming);
    // The sync merge of one spreadsheet known to both sides.
    static SpreadsheetRecord mergedSpreadsheet(const SpreadsheetRecord& local, const SpreadsheetRecord& incoming);

Q_SIGNALS:
    // `spreadsheetID` names the one spreadsheet an edit touched; null for wider changes.
    void snapshotChanged(const QUuid& spreadsheetID);
    void uiStateChanged();
    void appearanceChanged();
    // Emitted after every transfer-file import, successful or not.
    void importGenerationChanged();
    // Something can now be undone or redone that could not, or the other way round.
    void notesHistoryChanged();

private:
    struct NotesStep {
        quint64 id = 0;
        LibrarySnapshot before;
        LibrarySnapshot after;
        QList<QUuid> syncedBefore;
        QList<QUuid> syncedAfter;
    };
    void beginStep();
    void endStep();
    // Merges the change `from` → `to` into the current library and writes it.
    void replay(const NotesStep& step, bool backwards);
    NotesFocus focusOf(const NotesStep& step) const;

    // `changedOnly` names the one spreadsheet changed, when the change was no wider and does not
    // un-sync it (a phone's).
    void persist(bool notify, const std::optional<QUuid>& dirtying, bool whole = false, const QUuid& changedOnly = {});
    bool appendToJournal();
    // Writes the whole file, having taken in others' changes (file and journal); ends the journal.
    bool saveWhole();
    bool takeInJournal();
    void compact();
    void writeIndex();
    static void placeRows(QList<RowRecord>& sheetRows, const QList<NewRow>& rows, QList<QUuid>& made);
    bool takeIn(const LibrarySnapshot& base, const LibrarySnapshot& theirs);
    void writeUIState();
    void ensureTrailingBlankRow(const QUuid& spreadsheetID);
    qsizetype indexOfSpreadsheet(const QUuid& id) const;
    void setImportBanner(const QString& banner);

    LibrarySnapshot m_snapshot;
    AppearancePreference m_appearance = AppearancePreference::system;
    PersistedUIState m_uiState;
    std::optional<QString> m_lastImportBanner;
    qint64 m_importGeneration = 0;
    SharedJsonFile<LibrarySnapshot> m_libraryFile;
    JsonFile m_uiStateFile;
    QByteArray m_writtenUIState;
    bool m_isApplyingRemote = false;
    QList<NotesStep> m_undoSteps;
    QList<NotesStep> m_redoSteps;
    int m_stepDepth = 0;
    NotesStep m_openStep;
    quint64 m_nextStepID = 1;

    QString m_journalPath;
    JsonFile::Version m_journalKnown;
    // The file plus the journal, as last read or written here: what the next line starts from.
    LibrarySnapshot m_onDisk;
    bool m_journaling = false;
    JsonFile::Version m_indexed;
    bool m_compacting = false;
    QTimer m_compactTimer;
    BackgroundJobs m_compactor{nullptr, 1, BackgroundJobs::Priority::low};
};

inline const QString kAppearanceKey = QStringLiteral("tavrin.appearance");
inline const QString kImportFailedBanner = QStringLiteral("Impossible d’importer ce fichier TAVRIN.");

} // namespace tavrin
