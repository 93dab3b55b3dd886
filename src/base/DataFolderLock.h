#pragma once

#include <QString>

namespace tavrin {

// Serialises the writers of one folder of data files (the window, any number of tavrin-cli) with
// an advisory lock on "tavrin.lock" in that folder. Held for the life of the object; locks taken
// again by the same process while one is held share it. The kernel drops the lock of a killed
// process. Main thread only.
class DataFolderLock {
public:
    explicit DataFolderLock(const QString& folder);
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;
    DataFolderLock(DataFolderLock&& other) noexcept : m_folder(std::move(other.m_folder)) { other.m_folder.clear(); }

    // False when the lock file could not be made (a read-only folder) or another writer kept the
    // lock for over ten seconds: the holder then goes on unlocked.
    bool isLocked() const;

private:
    QString m_folder;
};

} // namespace tavrin
