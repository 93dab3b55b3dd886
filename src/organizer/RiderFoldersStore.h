#pragma once

// The rider-folders workspace ("Paniers"): its own programme and destination folder, from which
// one empty "NOM PRENOM" folder per rider is prepared. Saved in "RiderFolders/settings.json",
// the programme in "RiderFolders/programme.json" beside a copy of its file.

#include "base/FolderReference.h"
#include "base/JsonFile.h"
#include "organizer/StoredProgramme.h"

namespace tavrin {

class RiderFoldersStore : public StoredProgramme {
    Q_OBJECT

public:
    explicit RiderFoldersStore(QObject* parent = nullptr);

    const std::optional<QString>& destinationName() const { return m_destinationName; }
    const std::optional<QByteArray>& destinationBookmark() const { return m_destinationBookmark; }
    QString fileURL() const { return m_file.path(); }

    // Every rider of the programme, one per folder name (the first met wins), sorted by last
    // name then first name as a file browser sorts.
    QList<ImportedPerson> people() const;
    // Those with a name.
    QList<ImportedPerson> namedPeople() const;

    void storeDestination(const QString& path);
    // The destination when its reference still resolves (access retained, a stale reference
    // refreshed); none otherwise.
    std::optional<QString> resolveDestination();

    // Every write takes in first what another program wrote since; the window also follows such
    // writes as they happen.
    void persist() override;
    void followDiskChanges();
    bool reloadIfChanged();

Q_SIGNALS:
    void destinationChanged();

private:
    std::optional<QByteArray> m_destinationBookmark;
    std::optional<QString> m_destinationName;
    JsonFile m_file;
    // The file as last read or written here: the base of the next merge.
    QByteArray m_written;
    FolderAccess m_access;
    bool m_followsDisk = false;

    bool takeIn(const QByteArray& theirs);
};

} // namespace tavrin
