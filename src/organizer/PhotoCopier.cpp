#include "organizer/PhotoCopier.h"

#include "numbers/PathText.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace tavrin {

namespace {

using FileCopy::Descriptor;

qint64 modifiedTime(const struct stat& st) { return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec; }

QString joined(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? QString(folder + name) : QString(folder + u'/' + name);
}

// Reads up to `size` bytes at `offset`, short only at the end of the file; -1 on error.
ssize_t readAt(int fd, char* buffer, size_t size, off_t offset)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, buffer + done, size - done, offset + off_t(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += size_t(n);
    }
    return ssize_t(done);
}

} // namespace

PhotoCopier::Counters& PhotoCopier::Counters::operator+=(const Counters& other)
{
    filesRead += other.filesRead;
    bytesRead += other.bytesRead;
    filesCopied += other.filesCopied;
    return *this;
}

PhotoCopier::PhotoCopier(const QString& folder) : m_folder(folder)
{
    m_fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) throw Failure(errno);
}

PhotoCopier::~PhotoCopier()
{
    if (m_fd >= 0) ::close(m_fd);
}

QString PhotoCopier::copyName(QStringView fileName, int n)
{
    if (n == 0) return fileName.toString();
    const QStringView ext = PathText::pathExtension(fileName);
    QString name = PathText::deletingPathExtension(fileName).toString() + QStringLiteral(" copie");
    if (n > 1) name += u' ' + QString::number(n);
    if (!ext.isEmpty()) name += u'.' + ext;
    return name;
}

bool PhotoCopier::exists(const QString& name) const
{
    struct stat st{};
    return ::fstatat(m_fd, QFile::encodeName(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

int PhotoCopier::removeStaleTemporaries() const { return FileCopy::removeStaleTemporaries(m_fd); }

bool PhotoCopier::syncFileSystem() const { return ::syncfs(m_fd) == 0; }

bool PhotoCopier::sameBytes(int source, qint64 size, const QByteArray& name)
{
    if (size == 0) return true;
    const Descriptor copy(::openat(m_fd, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (copy.fd < 0) return false;
    m_counters.filesRead += 2;
    constexpr size_t chunk = 1 << 20;
    const std::unique_ptr<char[]> ours(new char[chunk]), theirs(new char[chunk]);
    for (off_t offset = 0; offset < size;) {
        const ssize_t a = readAt(source, ours.get(), chunk, offset);
        if (a < 0) throw Failure(errno);
        const ssize_t b = readAt(copy.fd, theirs.get(), chunk, offset);
        m_counters.bytesRead += a + std::max<ssize_t>(b, 0);
        if (b != a || std::memcmp(ours.get(), theirs.get(), size_t(a)) != 0) return false;
        if (a == 0) break;
        offset += a;
    }
    return true;
}

std::optional<QString> PhotoCopier::findIdentical(int source, const struct stat& st, const QString& path, const CopyMemory* memory,
                                                  int* firstFree, bool* made)
{
    // A copy remembered with the photo's present size and date, still of that size: trusted.
    if (memory) {
        for (auto it = memory->constFind(path); it != memory->constEnd() && it.key() == path; ++it) {
            if (it->size != st.st_size || it->modified != modifiedTime(st)) continue;
            const QString name = PathText::lastPathComponent(it->target).toString();
            if (name.isEmpty() || joined(m_folder, name) != it->target) continue;
            struct stat there{};
            if (::fstatat(m_fd, QFile::encodeName(name).constData(), &there, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(there.st_mode)
                && there.st_size == st.st_size) {
                if (made) *made = it->made;
                return name;
            }
        }
    }
    if (source < 0) return std::nullopt;
    // Otherwise along the names the photo would take, up to the first free one.
    const QString fileName = PathText::lastPathComponent(path).toString();
    for (int n = 0;; ++n) {
        const QString name = copyName(fileName, n);
        const QByteArray native = QFile::encodeName(name);
        struct stat there{};
        if (::fstatat(m_fd, native.constData(), &there, AT_SYMLINK_NOFOLLOW) != 0) {
            if (firstFree) *firstFree = n;
            return std::nullopt;
        }
        if (S_ISREG(there.st_mode) && there.st_size == st.st_size && sameBytes(source, st.st_size, native)) return name;
    }
}

std::optional<QString> PhotoCopier::alreadyThere(const QString& source, const CopyMemory* memory)
{
    const QByteArray native = QFile::encodeName(source);
    struct stat st{};
    if (::stat(native.constData(), &st) != 0) throw Failure(errno);
    if (std::optional<QString> name = findIdentical(-1, st, source, memory, nullptr)) return name;
    const Descriptor in(::open(native.constData(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0 || ::fstat(in.fd, &st) != 0) throw Failure(errno);
    if (!S_ISREG(st.st_mode)) throw Failure(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    return findIdentical(in.fd, st, source, nullptr, nullptr);
}

PhotoCopier::Placement PhotoCopier::place(const QString& source, const CopyMemory* memory)
{
    const QByteArray native = QFile::encodeName(source);
    struct stat st{};
    if (::stat(native.constData(), &st) != 0) throw Failure(errno);
    const auto placement = [&](const QString& name, bool there, bool made) {
        return Placement{name, there, CopiedPhoto{source, qint64(st.st_size), modifiedTime(st), joined(m_folder, name), made}};
    };
    // Remembered and unchanged: not even opened.
    bool made = false;
    if (std::optional<QString> name = findIdentical(-1, st, source, memory, nullptr, &made)) return placement(*name, true, made);

    const Descriptor in(::open(native.constData(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0 || ::fstat(in.fd, &st) != 0) throw Failure(errno);
    if (!S_ISREG(st.st_mode)) throw Failure(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    int firstFree = 0;
    if (std::optional<QString> name = findIdentical(in.fd, st, source, nullptr, &firstFree)) return placement(*name, true, false);
    return placement(copyOpen(in.fd, PathText::lastPathComponent(source).toString(), firstFree, nullptr), false, true);
}

QString PhotoCopier::moveIn(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString fileName = path.mid(slash + 1);
    const Descriptor from(::open(QFile::encodeName(slash > 0 ? path.left(slash) : QStringLiteral("/")).constData(),
                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (from.fd < 0) throw Failure(errno);
    const QByteArray oldName = QFile::encodeName(fileName);
    for (int n = 0;; ++n) {
        const QString name = copyName(fileName, n);
        const QByteArray target = QFile::encodeName(name);
        const int error = FileCopy::renameNoReplace(from.fd, oldName.constData(), m_fd, target.constData());
        if (error == 0) return name;
        if (error == EEXIST) continue;
        if (error != EXDEV) throw Failure(error);
        // Another file system: the copy has its name before the original goes.
        const Descriptor in(::openat(from.fd, oldName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (in.fd < 0) throw Failure(errno);
        const QString taken = copyOpen(in.fd, fileName, n, nullptr);
        // Durable before the only other copy goes.
        ::syncfs(m_fd);
        if (::unlinkat(from.fd, oldName.constData(), 0) != 0) throw Failure(errno);
        return taken;
    }
}

QString PhotoCopier::copy(const QString& source, Method* used)
{
    const Descriptor in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0) throw Failure(errno);
    return copyOpen(in.fd, PathText::lastPathComponent(source).toString(), 0, used);
}

QString PhotoCopier::copyOpen(int source, const QString& fileName, int from, Method* used)
{
    FileCopy::PendingCopy pending(m_fd, source);
    if (used) *used = pending.method();
    for (int n = std::max(from, m_taken.value(fileName, 0));; ++n) {
        const QString name = copyName(fileName, n);
        const QByteArray target = QFile::encodeName(name);
        struct stat existing{};
        if (::fstatat(m_fd, target.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0) continue;
        if (pending.publish(target)) {
            m_taken.insert(fileName, n + 1);
            ++m_counters.filesCopied;
            return name;
        }
    }
}

} // namespace tavrin
