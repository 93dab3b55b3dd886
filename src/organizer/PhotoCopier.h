#pragma once

// Copies photos into a rider folder without ever replacing anything, and without copying again a
// photo already there. Each copy goes through FileCopy (hidden locked temporary, then a rename
// that never replaces), so a half-written photo never carries a final name. Durability is left to
// the caller (one syncfs for a whole run).

#include "base/FileCopy.h"
#include "organizer/PhotoCopierMemory.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringView>

#include <optional>

struct stat;

namespace tavrin {

class PhotoCopier {
public:
    using Method = FileCopy::Method;
    // A copy that failed; `error` is the system's error number.
    using Failure = FileCopy::Failure;

    // What the copier read and wrote, so that the cost of a run can be checked.
    struct Counters {
        // Files opened and bytes read to compare a photo with a file already there.
        qint64 filesRead = 0;
        qint64 bytesRead = 0;
        // Copies made.
        qint64 filesCopied = 0;

        Counters& operator+=(const Counters& other);
        bool operator==(const Counters&) const = default;
    };

    // Where a photo now stands in the folder.
    struct Placement {
        QString name;
        // Already there from an earlier copy: nothing was written.
        bool alreadyThere = false;
        // What to remember of it for the next run.
        CopiedPhoto record;
    };

    // Opens the folder; throws Failure when it cannot be opened.
    explicit PhotoCopier(const QString& folder);
    ~PhotoCopier();
    PhotoCopier(const PhotoCopier&) = delete;
    PhotoCopier& operator=(const PhotoCopier&) = delete;

    // The organiser's rule for one photo: when a file with its very bytes already stands at one
    // of its names (copyName n = 0, 1, 2, … up to the first free one), nothing is copied;
    // otherwise it is copied under the first free name, so that a different file of the same
    // name is kept and the photo gets a « copie » name. Throws Failure; nothing is left behind.
    Placement place(const QString& source, const CopyMemory* memory = nullptr);

    // The one decision of "already there" for a photo: the name in the folder of an identical
    // copy, or none. A copy remembered in `memory` for this source and this folder is trusted
    // without reading either file when the source's size and modification time are those
    // remembered and the copy still has that size; otherwise sizes, then bytes, are compared.
    // Throws Failure when the source cannot be read.
    std::optional<QString> alreadyThere(const QString& source, const CopyMemory* memory = nullptr);

    // Copies `source` into the folder under the first free name of copyName (n = 0, 1, 2, …)
    // and returns that name, even when an identical file is there. Throws Failure; nothing is
    // left behind then.
    QString copy(const QString& source, Method* used = nullptr);

    // Moves the file at `path` (a copy in another folder) into this folder under the first free
    // name of copyName, never replacing anything: one rename on the same file system, else a
    // copy that takes its name before the original is removed. Whenever it stops, the file is
    // in one of the two places (both, at worst). Returns the name taken; throws Failure.
    QString moveIn(const QString& path);

    // Removes the temporary files that copies killed midway left in the folder; copies still
    // going (locked) and every other file are left alone. Returns how many were removed.
    int removeStaleTemporaries() const;

    // The hidden names our copies write to: ".tavrin-" base-36 digits ".part".
    static bool isTemporaryName(QByteArrayView name) { return FileCopy::isTemporaryName(name); }

    // Something (a file, a folder, a link) has this name in the folder.
    bool exists(const QString& name) const;

    // Makes everything written on the folder's file system durable.
    bool syncFileSystem() const;

    // n = 0: the name itself; then "DSC_0042 copie.JPG", "DSC_0042 copie 2.JPG", …
    static QString copyName(QStringView fileName, int n);

    const Counters& counters() const { return m_counters; }
    const QString& folder() const { return m_folder; }

private:
    // The decision, on a source already open; `firstFree` receives the copy number of the first
    // free name met.
    std::optional<QString> findIdentical(int source, const struct stat& st, const QString& path, const CopyMemory* memory,
                                         int* firstFree, bool* made = nullptr);
    bool sameBytes(int source, qint64 size, const QByteArray& name);
    QString copyOpen(int source, const QString& fileName, int from, Method* used);

    int m_fd = -1;
    QString m_folder;
    Counters m_counters;
    // Per source name, the copy number below which every name is known to be taken: a run that
    // copies the same name many times into one folder does not probe from the start each time.
    QHash<QString, int> m_taken;
};

} // namespace tavrin
