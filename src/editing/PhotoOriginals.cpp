#include "editing/PhotoOriginals.h"

#include "base/Error.h"
#include "base/FileCopy.h"
#include "editing/PhotoEditMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrin::PhotoOriginals {

namespace {

using FileCopy::Descriptor;

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

// Copies `source` into a hidden temporary of `folder`, made durable (the untouched copy is the
// only way back to the camera's file), and hands it to `name` to take its name; throws with
// nothing left behind.
template <typename Name>
void copyInto(const QString& source, const QString& folder, Name name)
{
    const Descriptor dir(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd < 0) throw copyError(source, errno);
    const Descriptor in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0) throw copyError(source, errno);
    try {
        FileCopy::PendingCopy copy(dir.fd, in.fd, FileCopy::Options{false, true});
        name(copy);
    } catch (const FileCopy::Failure& failure) {
        throw copyError(source, failure.error);
    }
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
    try {
        // Never over an existing copy: one made meanwhile is the older, truer one.
        copyInto(photo, folder, [&](FileCopy::PendingCopy& copy) { copy.publish(QFile::encodeName(QFileInfo(photo).fileName())); });
    } catch (...) {
        ::rmdir(QFile::encodeName(folder).constData());
        throw;
    }
}

void replaceWithCopy(const QString& source, const QString& target)
{
    const QFileInfo info(target);
    copyInto(source, info.path(), [&](FileCopy::PendingCopy& copy) { copy.replace(QFile::encodeName(info.fileName())); });
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
