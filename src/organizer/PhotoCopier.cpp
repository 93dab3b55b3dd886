#include "organizer/PhotoCopier.h"

#include "organizer/PathText.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace tavrin {

namespace {

// Closes a descriptor once, whatever path leaves the scope.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int f) : fd(f) {}
    ~Descriptor()
    {
        if (fd >= 0) ::close(fd);
    }
    int release()
    {
        const int f = fd;
        fd = -1;
        return f;
    }
};

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

void streamCopy(int in, int out)
{
    constexpr size_t bufferSize = 1 << 20;
    const std::unique_ptr<char[]> buffer(new char[bufferSize]);
    for (;;) {
        const ssize_t n = ::read(in, buffer.get(), bufferSize);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw PhotoCopier::Failure(errno);
        }
        if (n == 0) return;
        if (!writeAll(out, buffer.get(), size_t(n))) throw PhotoCopier::Failure(errno);
    }
}

// Errors after which copy_file_range cannot work between these two files at all.
bool copyRangeUnsupported(int error)
{
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EBADF;
}

PhotoCopier::Method copyData(int in, int out)
{
    if (::ioctl(out, FICLONE, in) == 0) return PhotoCopier::Method::reflink;
    bool first = true;
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (n > 0) {
            first = false;
            continue;
        }
        if (n == 0) return PhotoCopier::Method::copyRange;
        if (errno == EINTR) continue;
        if (first && copyRangeUnsupported(errno)) break;
        throw PhotoCopier::Failure(errno);
    }
    streamCopy(in, out);
    return PhotoCopier::Method::stream;
}

} // namespace

PhotoCopier::PhotoCopier(const QString& folder)
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

bool PhotoCopier::isTemporaryName(QByteArrayView name)
{
    constexpr QByteArrayView prefix(".tavrin-"), suffix(".part");
    if (!name.startsWith(prefix) || !name.endsWith(suffix)) return false;
    const QByteArrayView digits = name.sliced(prefix.size(), name.size() - prefix.size() - suffix.size());
    // A 64-bit number in base 36 has at most 13 digits.
    if (digits.isEmpty() || digits.size() > 13) return false;
    return std::all_of(digits.begin(), digits.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); });
}

int PhotoCopier::removeStaleTemporaries() const
{
    std::vector<std::string> candidates;
    if (const int listing = ::openat(m_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); listing >= 0) {
        DIR* dir = ::fdopendir(listing);
        if (!dir) {
            ::close(listing);
            return 0;
        }
        while (const dirent* entry = ::readdir(dir))
            if (isTemporaryName(QByteArrayView(entry->d_name))) candidates.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    int removed = 0;
    for (const std::string& name : candidates) {
        // Read and write where possible: where flock is emulated by byte-range locks (NFS), an
        // exclusive lock needs write access.
        Descriptor file(::openat(m_fd, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (file.fd < 0) file.fd = ::openat(m_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat st{};
        if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::flock(file.fd, LOCK_EX | LOCK_NB) != 0) {
            // Held: a copy is going. Where locks are not available, only an old file is a leftover.
            if (errno == EWOULDBLOCK || std::time(nullptr) - st.st_mtim.tv_sec < 3600) continue;
        }
        // Still the file that was checked, not one made since under the same name.
        struct stat now{};
        if (::fstatat(m_fd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_ino != st.st_ino || now.st_dev != st.st_dev)
            continue;
        if (::unlinkat(m_fd, name.c_str(), 0) == 0) ++removed;
    }
    return removed;
}

bool PhotoCopier::syncFileSystem() const { return ::syncfs(m_fd) == 0; }

QString PhotoCopier::copy(const QString& source, Method* used)
{
    Descriptor in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0) throw Failure(errno);
    struct stat st{};
    if (::fstat(in.fd, &st) != 0) throw Failure(errno);
    if (!S_ISREG(st.st_mode)) throw Failure(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);

    // The hidden temporary name: invisible to the organizer's listings and to file browsers.
    QByteArray temporary;
    Descriptor out(-1);
    for (int attempt = 0; out.fd < 0; ++attempt) {
        temporary = ".tavrin-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".part";
        // The permissions of any new file (0666 less the umask), as a copy in a file browser gets.
        out.fd = ::openat(m_fd, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (out.fd < 0 && (errno != EEXIST || attempt > 16)) throw Failure(errno);
        // Locked until renamed, so that another run's clean-up leaves it alone; a clean-up that
        // took it between its creation and the lock has removed it, and another name is taken.
        if (out.fd >= 0 && ::flock(out.fd, LOCK_EX) == 0) {
            struct stat created{};
            if (::fstat(out.fd, &created) == 0 && created.st_nlink == 0) {
                ::close(out.release());
                if (attempt > 16) throw Failure(ENOENT);
            }
        }
    }
    // Holds the lock past the close of `out`, which reports the write errors, until the rename.
    const Descriptor lock(::dup(out.fd));
    const auto discard = [&](int error) -> Failure {
        ::unlinkat(m_fd, temporary.constData(), 0);
        return Failure(error);
    };

    try {
        const Method method = copyData(in.fd, out.fd);
        if (used) *used = method;
    } catch (const Failure& failure) {
        throw discard(failure.error);
    }
    // Keep the photo's dates, as a file browser's copy does.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out.fd, times);
    if (::close(out.release()) != 0) throw discard(errno);

    const QString fileName = PathText::lastPathComponent(source).toString();
    int n = m_taken.value(fileName, 0);
    for (;; ++n) {
        const QString name = copyName(fileName, n);
        const QByteArray target = QFile::encodeName(name);
        struct stat existing{};
        if (::fstatat(m_fd, target.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0) continue;
        if (::renameat2(m_fd, temporary.constData(), m_fd, target.constData(), RENAME_NOREPLACE) == 0) {
            m_taken.insert(fileName, n + 1);
            return name;
        }
        if (errno == EEXIST) continue;
        if (errno != EINVAL && errno != ENOSYS) throw discard(errno);
        // A file system without the no-replace rename: a hard link fails just the same on an
        // existing name, and the temporary name is then dropped.
        if (::linkat(m_fd, temporary.constData(), m_fd, target.constData(), 0) == 0) {
            ::unlinkat(m_fd, temporary.constData(), 0);
            m_taken.insert(fileName, n + 1);
            return name;
        }
        if (errno == EEXIST) continue;
        throw discard(errno);
    }
}

} // namespace tavrin
