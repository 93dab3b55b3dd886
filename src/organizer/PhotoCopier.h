#pragma once

// Copies photos into a rider folder without ever replacing anything. The data goes to a hidden
// temporary file in the folder (a reflink when the file system can share the blocks, else an
// in-kernel copy, else a plain read and write), which is then renamed to its final name only if
// that name is still free: a half-written photo never carries a final name, and an existing
// file is never overwritten. Durability is left to the caller (one syncfs for a whole run).
// The temporary file stays locked while it is written, so that the leftover of a copy that was
// killed can be told from a copy still going in another process, and removed.

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringView>

#include <exception>

namespace tavrin {

class PhotoCopier {
public:
    enum class Method { reflink, copyRange, stream };

    // A copy that failed; `error` is the system's error number.
    struct Failure : std::exception {
        explicit Failure(int e) : error(e) {}
        const char* what() const noexcept override { return "photo copy failed"; }
        int error;
    };

    // Opens the folder; throws Failure when it cannot be opened.
    explicit PhotoCopier(const QString& folder);
    ~PhotoCopier();
    PhotoCopier(const PhotoCopier&) = delete;
    PhotoCopier& operator=(const PhotoCopier&) = delete;

    // Copies `source` into the folder under the first free name of copyName (n = 0, 1, 2, …)
    // and returns that name. Throws Failure; nothing is left behind then.
    QString copy(const QString& source, Method* used = nullptr);

    // Removes the temporary files that copies killed midway left in the folder; copies still
    // going (locked) and every other file are left alone. Returns how many were removed.
    int removeStaleTemporaries() const;

    // The hidden names our copies write to: ".tavrin-" base-36 digits ".part".
    static bool isTemporaryName(QByteArrayView name);

    // Something (a file, a folder, a link) has this name in the folder.
    bool exists(const QString& name) const;

    // Makes everything written on the folder's file system durable.
    bool syncFileSystem() const;

    // n = 0: the name itself; then "DSC_0042 copie.JPG", "DSC_0042 copie 2.JPG", …
    static QString copyName(QStringView fileName, int n);

private:
    int m_fd = -1;
    // Per source name, the copy number below which every name is known to be taken: a run that
    // copies the same name many times into one folder does not probe from the start each time.
    QHash<QString, int> m_taken;
};

} // namespace tavrin
