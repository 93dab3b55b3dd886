#include "editing/PhotoOriginals.h"

#include "base/Error.h"
#include "editing/PhotoEditMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace tavrin::PhotoOriginals {

namespace {

struct Descriptor {
    int fd = -1;
    explicit Descriptor(int f) : fd(f) {}
    ~Descriptor()
    {
        if (fd >= 0) ::close(fd);
    }
};

QString quoted(const QString& path) { return QStringLiteral("« ") + QFileInfo(path).fileName() + QStringLiteral(" »"); }

Error copyError(const QString& source, int error)
{
    switch (error) {
    case ENOENT: return Error(QStringLiteral("La photo ") + quoted(source) + QStringLiteral(" est introuvable."));
    case EACCES:
    case EPERM:
    case EROFS:
        return Error(QStringLiteral("Vous n’avez pas l’autorisation d’écrire dans le dossier de la photo ") + quoted(source) + u'.');
    case ENOSPC:
    case EDQUOT:
        return Error(QStringLiteral("Le disque est plein : impossible de copier la photo ") + quoted(source) + u'.');
    default: return Error(QStringLiteral("Impossible de copier la photo ") + quoted(source) + u'.');
    }
}

Error folderError(const QString& folder, int error)
{
    if (error == EACCES || error == EPERM || error == EROFS)
        return Error(QStringLiteral("Vous n’avez pas l’autorisation de créer le dossier ") + quoted(folder) + u'.');
    if (error == ENOSPC || error == EDQUOT)
        return Error(QStringLiteral("Le disque est plein : impossible de créer le dossier ") + quoted(folder) + u'.');
    return Error(QStringLiteral("Impossible de créer le dossier ") + quoted(folder) + u'.');
}

Error removeError(const QString& path, int error)
{
    if (error == EACCES || error == EPERM || error == EROFS)
        return Error(QStringLiteral("Vous n’avez pas l’autorisation de supprimer ") + quoted(path) + u'.');
    return Error(QStringLiteral("Impossible de supprimer ") + quoted(path) + u'.');
}

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

// Shares the blocks when the file system can, else copies in the kernel, else reads and writes.
// Returns 0 or the error number.
int copyData(int in, int out)
{
    if (::ioctl(out, FICLONE, in) == 0) return 0;
    bool first = true;
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (n > 0) {
            first = false;
            continue;
        }
        if (n == 0) return 0;
        if (errno == EINTR) continue;
        const int error = errno;
        if (first && (error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EBADF)) break;
        return error;
    }
    constexpr size_t bufferSize = 1 << 20;
    const std::unique_ptr<char[]> buffer(new char[bufferSize]);
    for (;;) {
        const ssize_t n = ::read(in, buffer.get(), bufferSize);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return 0;
        if (!writeAll(out, buffer.get(), size_t(n))) return errno;
    }
}

void createFolder(const QString& folder, const QString& photo)
{
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0777) == 0) return;
    const int error = errno;
    struct stat st{};
    if (error == EEXIST && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode)) return;
    if (error == ENOENT) {
        // The photo's own folder is gone: say so about the photo.
        throw copyError(photo, ENOENT);
    }
    throw folderError(folder, error);
}

// Copies `source` into a hidden file of `folder` made durable, and gives its path; throws with
// nothing left behind.
QString copyToTemporary(const QString& source, const QString& folder)
{
    const Descriptor in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0) throw copyError(source, errno);
    const QString temporary = folder + QStringLiteral("/.") + QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".part");
    const QByteArray native = QFile::encodeName(temporary);
    const int out = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) throw copyError(source, errno);
    int error = copyData(in.fd, out);
    // The untouched copy is the only way back to the camera's file: make it durable first.
    if (error == 0 && ::fsync(out) != 0) error = errno;
    if (::close(out) != 0 && error == 0) error = errno;
    if (error != 0) {
        ::unlink(native.constData());
        throw copyError(source, error);
    }
    return temporary;
}

} // namespace

QString originalsFolder(const QString& photo)
{
    const QFileInfo info(photo);
    return info.path() + u'/' + folderName;
}

QString backupPath(const QString& photo) { return originalsFolder(photo) + u'/' + QFileInfo(photo).fileName(); }

bool hasBackup(const QString& photo)
{
    struct stat st{};
    return ::lstat(QFile::encodeName(backupPath(photo)).constData(), &st) == 0;
}

void ensureBackup(const QString& photo)
{
    if (hasBackup(photo)) return;
    const QString folder = originalsFolder(photo);
    createFolder(folder, photo);
    QString temporary;
    try {
        temporary = copyToTemporary(photo, folder);
    } catch (...) {
        ::rmdir(QFile::encodeName(folder).constData());
        throw;
    }
    const QByteArray tmp = QFile::encodeName(temporary);
    // Never over an existing copy: one made meanwhile is the older, truer one.
    if (::renameat2(AT_FDCWD, tmp.constData(), AT_FDCWD, QFile::encodeName(backupPath(photo)).constData(), RENAME_NOREPLACE) != 0) {
        const int error = errno;
        ::unlink(tmp.constData());
        if (error != EEXIST) throw copyError(photo, error);
    }
}

void replaceWithCopy(const QString& source, const QString& target)
{
    const QString temporary = copyToTemporary(source, QFileInfo(target).path());
    const QByteArray tmp = QFile::encodeName(temporary);
    if (::rename(tmp.constData(), QFile::encodeName(target).constData()) != 0) {
        const int error = errno;
        ::unlink(tmp.constData());
        throw copyError(source, error);
    }
}

void restore(const QString& photo)
{
    if (!hasBackup(photo)) return;
    const QString backup = backupPath(photo);
    replaceWithCopy(backup, photo);
    if (::unlink(QFile::encodeName(backup).constData()) != 0 && errno != ENOENT) throw removeError(backup, errno);
    PhotoEditMemory::remove(photo);
    // An emptied hidden folder goes too; one still holding other photos' copies stays.
    ::rmdir(QFile::encodeName(originalsFolder(photo)).constData());
}

} // namespace tavrin::PhotoOriginals
