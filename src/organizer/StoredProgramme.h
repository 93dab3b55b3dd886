#pragma once

// The programme a store keeps in its folder: "programme.json" (the document) beside a copy of
// the file it was read from ("programme.pdf", ".xlsx" or ".xlsm"), and "stamp-of-programme.json",
// which says from which bytes the index was made. The spreadsheet workspace
// keeps one in the data folder, the rider folders another in "RiderFolders".

#include "base/BackgroundJobs.h"
#include "base/SharedJsonFile.h"
#include "programme/ProgrammeDocument.h"

#include <QJsonObject>
#include <QObject>

#include <optional>

namespace tavrin {

class StoredProgramme : public QObject {
    Q_OBJECT

public:
    enum class Place { workspace, riderFolders };

    const std::optional<ProgrammeDocument>& programme() const { return m_programme; }
    const std::optional<QString>& programmeName() const { return m_programmeName; }

    // Copies the file beside the index as "programme." + its extension in lower case ("pdf"
    // without one), reads the copy and keeps the document. Throws the French reason when the
    // file cannot be copied or read, or holds no event with riders; the previous programme and
    // its copy then stay.
    void ingestProgramme(const QString& path);

    // A programme file read through a hidden copy in the folder, not yet in place.
    struct ReadFile {
        ProgrammeDocument document;
        // The chosen file's name, and the copy's extension.
        QString name;
        QString extension;
        QString staging;
    };
    // The reading half of ingestProgramme: throws as it does; the copy waits for putInPlace or
    // discard.
    ReadFile readProgramme(const QString& path);
    // Makes it the programme; the one it replaces is kept aside with its file, so that
    // undoReplacement can bring it back until the next replacement. Throws, the programme as it was.
    void putInPlace(const ReadFile& read);
    static void discard(const ReadFile& read);

    bool canUndoReplacement() const { return m_previous.has_value(); }
    // The programme and its file as they were before the last replacement. Throws when the
    // programme cannot be written back.
    void undoReplacement();
    // A programme read from a web page: kept without a source file.
    void adoptProgramme(const ProgrammeDocument& document);

    // Some day of the document has an event to choose.
    static bool hasEvents(const ProgrammeDocument& document);
    // Why a file that reads but holds no event was refused.
    static QString noEventMessage(bool keptPrevious);

    // Saves the owner's file.
    virtual void persist() = 0;

    // Another program (tavrin-cli, a second window) may write the folder too: every write takes
    // in first what it wrote since, and the window follows such writes as they happen.
    void followDiskChanges();
    // Takes in the programme and the owner's file when another program wrote them; true when
    // something changed.
    bool reloadIfChanged();
    // How many times this store read its source file again at start-up.
    int sourceReadings() const { return m_sourceReadings; }

Q_SIGNALS:
    void programmeChanged();
    // A replacement became undoable, or no longer is.
    void replacementChanged();

protected:
    StoredProgramme(Place place, QObject* parent);

    // The index gives a programme at once; the stored source file is then read again in the
    // background, and its reading replaces the index unless another programme came meanwhile.
    void loadProgrammeFromDisk();
    // Another program imported a programme into this folder: its index replaces ours.
    bool reloadProgrammeIfChanged();
    // The file the owner keeps beside the programme.
    virtual SharedJsonFileCore& ownFile() = 0;

    std::optional<QString> m_programmeName;

private:
    QString folder() const;
    std::optional<QString> existingSourceFile() const;
    void removeSourceFiles() const;
    void removeStaleStagingCopies() const;
    void persistProgrammeIndex(const ProgrammeDocument& document);
    void setProgramme(const ProgrammeDocument& document);
    // What the index was last made from: the source file's size, time and hash, and the index's
    // own hash. While both still match, the index is the reading and the file is not read again.
    QJsonObject sourceStamp(const QString& source) const;
    void recordSourceStamp(const QString& source);
    void keepAside();
    void forgetAside();

    struct Previous {
        ProgrammeDocument document;
        std::optional<QString> name;
        // Its source copy, set aside under another name.
        std::optional<QString> file;
    };
    std::optional<Previous> m_previous;

    Place m_place;
    JsonFile m_index;
    QString m_stampPath;
    int m_sourceReadings = 0;
    std::optional<ProgrammeDocument> m_programme;
    // The re-reading of the source file; every import cancels it, so that a slower reading never
    // replaces a newer programme. Last, so that it is gone before what its results touch.
    BackgroundJobs m_jobs{nullptr, 1};
};

} // namespace tavrin
