#include "reception/VerifiedCopy.h"

#include "base/FileCopy.h"

#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace tavrin::VerifiedCopy {

using FileCopy::Descriptor;
using FileCopy::Failure;

namespace {

quint64 hashDescriptor(int fd)
{
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), &XXH3_freeState);
    if (!state || XXH3_64bits_reset(state.get()) != XXH_OK) throw Failure(ENOMEM);
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Failure(errno);
        if (n == 0) break;
        XXH3_64bits_update(state.get(), buffer.data(), size_t(n));
    }
    return XXH3_64bits_digest(state.get());
}

} // namespace

quint64 hashFile(const QString& path)
{
    Descriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.fd < 0) throw Failure(errno);
    ::posix_fadvise(fd.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return hashDescriptor(fd.fd);
}

bool looksComplete(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != u"jpg" && suffix != u"jpeg") return true;
    Descriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.fd < 0) return false;
    struct stat st{};
    if (::fstat(fd.fd, &st) != 0 || st.st_size < 4) return false;
    // Some cameras pad the file to a block: the marker is the last thing before the zeros.
    const off_t window = std::min<off_t>(st.st_size, 64 * 1024);
    std::vector<unsigned char> tail(static_cast<size_t>(window));
    if (::pread(fd.fd, tail.data(), tail.size(), st.st_size - window) != ssize_t(window)) return false;
    qsizetype end = qsizetype(tail.size());
    while (end > 0 && tail[size_t(end - 1)] == 0) --end;
    return end >= 2 && tail[size_t(end - 2)] == 0xFF && tail[size_t(end - 1)] == 0xD9;
}

Result copy(const QString& source, const QString& folder, const QString& relativePath, const quint64* sourceHash)
{
    try {
        if (!QFileInfo(folder).isDir()) return {Outcome::failed, ENOENT};
        const QFileInfo target(QDir(folder).filePath(relativePath));
        const QString targetFolder = target.absolutePath();
        if (!QDir().mkpath(targetFolder)) return {Outcome::failed, errno ? errno : EACCES};

        Descriptor in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
        if (in.fd < 0) throw Failure(errno);
        Descriptor dir(::open(QFile::encodeName(targetFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.fd < 0) throw Failure(errno);
        const QByteArray name = QFile::encodeName(target.fileName());

        const auto alreadyThere = [&]() -> std::optional<Result> {
            struct stat there{};
            if (::fstatat(dir.fd, name.constData(), &there, 0) != 0) return std::nullopt;
            struct stat mine{};
            ::fstat(in.fd, &mine);
            const bool same = there.st_size == mine.st_size &&
                              (!sourceHash || hashFile(target.absoluteFilePath()) == *sourceHash);
            return same ? Result{Outcome::alreadyThere, 0} : Result{Outcome::failed, EEXIST};
        };
        if (const auto there = alreadyThere()) return *there;

        FileCopy::PendingCopy pending(dir.fd, in.fd, {.keepTimes = true, .durable = sourceHash != nullptr});
        if (sourceHash) {
            Descriptor back(::openat(dir.fd, pending.temporaryName().constData(), O_RDONLY | O_CLOEXEC));
            if (back.fd < 0) throw Failure(errno);
            // Flushed above; dropping the cached pages makes the read come from the disk itself.
            ::posix_fadvise(back.fd, 0, 0, POSIX_FADV_DONTNEED);
            if (hashDescriptor(back.fd) != *sourceHash) return {Outcome::failed, EIO};
        }
        if (pending.publish(name)) return {Outcome::copied, 0};
        // Someone took the name meanwhile: the same photo or another one.
        if (const auto there = alreadyThere()) return *there;
        return {Outcome::failed, EEXIST};
    } catch (const Failure& failure) {
        return {Outcome::failed, failure.error};
    }
}

} // namespace tavrin::VerifiedCopy
