#include "base/FileCopy.h"

#include <QRandomGenerator>
#include <QStringBuilder>

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

namespace tavrin::FileCopy {

Descriptor::~Descriptor()
{
    if (fd >= 0) ::close(fd);
}

namespace {

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
            throw Failure(errno);
        }
        if (n == 0) return;
        if (!writeAll(out, buffer.get(), size_t(n))) throw Failure(errno);
    }
}

// Errors after which copy_file_range cannot work between these two files at all.
bool copyRangeUnsupported(int error)
{
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EBADF;
}

} // namespace

Method copyData(int in, int out)
{
    if (::ioctl(out, FICLONE, in) == 0) return Method::reflink;
    bool first = true;
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (n > 0) {
            first = false;
            continue;
        }
        if (n == 0) return Method::copyRange;
        if (errno == EINTR) continue;
        if (first && copyRangeUnsupported(errno)) break;
        throw Failure(errno);
    }
    streamCopy(in, out);
    return Method::stream;
}

bool isTemporaryName(QByteArrayView name)
{
    constexpr QByteArrayView prefix(".tavrin-"), suffix(".part");
    if (!name.startsWith(prefix) || !name.endsWith(suffix)) return false;
    const QByteArrayView digits = name.sliced(prefix.size(), name.size() - prefix.size() - suffix.size());
    // A 64-bit number in base 36 has at most 13 digits.
    if (digits.isEmpty() || digits.size() > 13) return false;
    return std::all_of(digits.begin(), digits.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); });
}

int removeStaleTemporaries(int folder)
{
    std::vector<std::string> candidates;
    if (const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); listing >= 0) {
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
        Descriptor file(::openat(folder, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (file.fd < 0) file.fd = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat st{};
        if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::flock(file.fd, LOCK_EX | LOCK_NB) != 0) {
            // Held: a copy is going. Where locks are not available, only an old file is a leftover.
            if (errno == EWOULDBLOCK || std::time(nullptr) - st.st_mtim.tv_sec < 3600) continue;
        }
        // Still the file that was checked, not one made since under the same name.
        struct stat now{};
        if (::fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_ino != st.st_ino || now.st_dev != st.st_dev)
            continue;
        if (::unlinkat(folder, name.c_str(), 0) == 0) ++removed;
    }
    return removed;
}

int renameNoReplace(int fromFolder, const char* from, int toFolder, const char* to)
{
    if (::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the no-replace rename: a hard link fails just the same on an
    // existing name, and the old name is then dropped.
    if (::linkat(fromFolder, from, toFolder, to, 0) != 0) return errno;
    ::unlinkat(fromFolder, from, 0);
    return 0;
}

PendingCopy::PendingCopy(int folder, int source, const Options& options) : m_folder(folder)
{
    struct stat st{};
    if (::fstat(source, &st) != 0) throw Failure(errno);
    if (!S_ISREG(st.st_mode)) throw Failure(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);

    // The hidden temporary name: invisible to the program's listings and to file browsers.
    Descriptor out(-1);
    for (int attempt = 0; out.fd < 0; ++attempt) {
        m_temporary = QByteArray(".tavrin-") + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".part";
        // The permissions of any new file (0666 less the umask), as a copy in a file browser gets.
        out.fd = ::openat(folder, m_temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
    m_lock = ::dup(out.fd);
    const auto fail = [&](int error) {
        discard();
        return Failure(error);
    };
    try {
        m_method = copyData(source, out.fd);
    } catch (const Failure& failure) {
        throw fail(failure.error);
    }
    if (options.keepTimes) {
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out.fd, times);
    }
    if (options.durable && ::fsync(out.fd) != 0) throw fail(errno);
    if (::close(out.release()) != 0) throw fail(errno);
}

PendingCopy::~PendingCopy() { discard(); }

void PendingCopy::discard()
{
    if (!m_temporary.isEmpty()) ::unlinkat(m_folder, m_temporary.constData(), 0);
    m_temporary.clear();
    if (m_lock >= 0) ::close(m_lock);
    m_lock = -1;
}

bool PendingCopy::publish(const QByteArray& name)
{
    const int error = renameNoReplace(m_folder, m_temporary.constData(), m_folder, name.constData());
    if (error == EEXIST) return false;
    if (error != 0) {
        discard();
        throw Failure(error);
    }
    m_temporary.clear();
    discard();
    return true;
}

void PendingCopy::replace(const QByteArray& name)
{
    if (::renameat(m_folder, m_temporary.constData(), m_folder, name.constData()) != 0) {
        const int error = errno;
        discard();
        throw Failure(error);
    }
    m_temporary.clear();
    discard();
}

} // namespace tavrin::FileCopy
