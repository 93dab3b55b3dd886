#include "organizer/FileErrors.h"

#include "numbers/PathText.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace tavrin::FileErrors {

namespace {

QString quoted(const QString& path)
{
    return QStringLiteral("« ") + PathText::lastPathComponent(path).toString() + QStringLiteral(" »");
}

bool isDirectory(const QByteArray& path)
{
    struct stat st{};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

bool isNoSpace(int error) { return error == ENOSPC || error == EDQUOT; }

Error unreadableFolder(const QString& path, int error)
{
    const QString name = quoted(path);
    switch (error) {
    case ENOENT:
        return Error(QStringLiteral("Le dossier ") + name + QStringLiteral(" est introuvable."));
    case EACCES:
    case EPERM:
        return Error(QStringLiteral("Vous n’avez pas l’autorisation d’ouvrir le dossier ") + name + u'.');
    case ENOTDIR:
        return Error(name + QStringLiteral(" n’est pas un dossier."));
    default:
        return Error(QStringLiteral("Impossible de lire le dossier ") + name + u'.');
    }
}

Error uncreatableFolder(const QString& path, int error)
{
    const QString name = quoted(path);
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return Error(QStringLiteral("Vous n’avez pas l’autorisation de créer le dossier ") + name + u'.');
    case ENOSPC:
    case EDQUOT:
        return Error(QStringLiteral("Le disque est plein : impossible de créer le dossier ") + name + u'.');
    case EEXIST:
        return Error(QStringLiteral("Impossible de créer le dossier ") + name
                     + QStringLiteral(" : un fichier porte déjà ce nom."));
    case ENAMETOOLONG:
        return Error(QStringLiteral("Le nom du dossier ") + name + QStringLiteral(" est trop long."));
    default:
        return Error(QStringLiteral("Impossible de créer le dossier ") + name + u'.');
    }
}

void createDirectories(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0777) == 0) return;
    int error = errno;
    if (error == EEXIST) {
        if (isDirectory(native)) return;
        throw uncreatableFolder(path, error);
    }
    if (error == ENOENT) {
        // A missing parent: make the parents first, then this one.
        const qsizetype slash = path.lastIndexOf(u'/');
        if (slash > 0) {
            createDirectories(path.first(slash));
            if (::mkdir(native.constData(), 0777) == 0 || (errno == EEXIST && isDirectory(native))) return;
            error = errno;
        }
    }
    throw uncreatableFolder(path, error);
}

} // namespace tavrin::FileErrors
