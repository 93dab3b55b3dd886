#pragma once

// The rider-folders workspace ("Paniers"): its own programme and destination folder, from which
// one empty "NOM PRENOM" folder per rider is prepared. Saved in "RiderFolders/settings.json",
// the programme in "RiderFolders/programme.json" beside a copy of its file.

#include "base/FolderReference.h"
#include "base/SharedJsonFile.h"
#include "organizer/StoredProgramme.h"

namespace tavrin {

// The content of "settings.json".
struct RiderFoldersFile;

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

    // Every write takes in first what another program wrote since.
    void persist() override;

Q_SIGNALS:
    void destinationChanged();

private:
    std::optional<QByteArray> m_destinationBookmark;
    std::optional<QString> m_destinationName;
    SharedJsonFile<RiderFoldersFile> m_file;
    FolderAccess m_access;

    SharedJsonFileCore& ownFile() override { return m_file; }
    RiderFoldersFile held() const;
    void hold(RiderFoldersFile file);
    bool takeIn(const RiderFoldersFile& base, const RiderFoldersFile& theirs);
};

} // namespace tavrin
