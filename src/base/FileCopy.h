#pragma once

// Copying a file without ever showing half of it. The data goes to a hidden temporary file in
// the target folder (a reflink when the file system can share the blocks, else an in-kernel copy,
// else a plain read and write), which then takes its final name in one rename. The temporary
// stays locked while it waits for its name, so that the leftover of a copy that was killed can be
// told from a copy still going in another process, and removed.

#include <QByteArray>
#include <QByteArrayView>

#include <exception>

namespace tavrin::FileCopy {

enum class Method { reflink, copyRange, stream };

// Closes a descriptor once, whatever path leaves the scope.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int f) : fd(f) {}
    ~Descriptor();
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int release()
    {
        const int f = fd;
        fd = -1;
        return f;
    }
};

// A copy that failed; `error` is the system's error number.
struct Failure : std::exception {
    explicit Failure(int e) : error(e) {}
    const char* what() const noexcept override { return "file copy failed"; }
    int error;
};

// Copies `in` from its current offset to its end into `out`. Throws Failure.
Method copyData(int in, int out);

// The hidden names of the temporaries: ".tavrin-" base-36 digits ".part".
bool isTemporaryName(QByteArrayView name);

// Removes from the folder the temporaries that killed copies left; those still locked by a copy
// going on, and every other file, are left alone. Returns how many were removed.
int removeStaleTemporaries(int folder);

// Renames `from` (in folder `fromFolder`) to `to` (in `toFolder`) unless something has that
// name; a hard link stands in where the file system has no no-replace rename. Returns 0, or the
// error number (EEXIST when the name is taken).
int renameNoReplace(int fromFolder, const char* from, int toFolder, const char* to);

struct Options {
    // Give the copy the source's access and modification times, as a file browser's copy does.
    bool keepTimes = true;
    // Flush the copy to the disk before it can take its name.
    bool durable = false;
};

// A copy of an open file, written to a locked hidden temporary in a folder and waiting for its
// name. Dropped without a name, the temporary is removed.
class PendingCopy {
public:
    // Copies all of `source` (an open regular file) into a new temporary of the open folder
    // `folder`. Throws Failure; nothing is left behind then.
    PendingCopy(int folder, int source, const Options& options = {});
    ~PendingCopy();
    PendingCopy(const PendingCopy&) = delete;
    PendingCopy& operator=(const PendingCopy&) = delete;

    Method method() const { return m_method; }
    // The hidden name in the folder, for reading the copy back before it is published.
    const QByteArray& temporaryName() const { return m_temporary; }

    // Gives the copy `name` in its folder unless something has that name: true when it took it,
    // false when the name is taken (the copy still waits). Throws Failure on any other error.
    bool publish(const QByteArray& name);
    // Gives the copy `name` in its folder, replacing in one step whatever has it. Throws Failure.
    void replace(const QByteArray& name);

private:
    void discard();

    int m_folder;
    QByteArray m_temporary;
    // Holds the lock until the rename.
    int m_lock = -1;
    Method m_method = Method::stream;
};

} // namespace tavrin::FileCopy
