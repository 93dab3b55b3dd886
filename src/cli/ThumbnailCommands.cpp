#include "cli/Cli.h"
#include "photofiles/MediaThumbnailer.h"
#include "organizer/MediaFile.h"

#include <QFileInfo>
#include <QSaveFile>

namespace tavrin::cli {
namespace {

// The thumbnail the orders gallery would show, through the same caches.
int thumbnail(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("size"), QStringLiteral("out")});
    if (args.positional().size() != 1) throw UsageError(QStringLiteral("indiquez un fichier"));
    bool ok = false;
    const int size = args.required(QStringLiteral("size")).toInt(&ok);
    if (!ok || size < 1 || size > 4096)
        throw Error(QStringLiteral("La taille doit être un nombre de pixels entre 1 et 4096."));
    const QString out = args.required(QStringLiteral("out"));
    const QString file = args.positional().first();
    const QFileInfo info(file);
    if (!info.exists()) throw Error(QStringLiteral("Le fichier « %1 » est introuvable.").arg(file));
    if (!info.isFile()) throw Error(QStringLiteral("« %1 » n’est pas un fichier.").arg(file));
    const bool isVideo = MediaFile::isVideo(file);
    const QImage image = MediaThumbnailer::shared().thumbnailNow(file, isVideo, size);
    if (image.isNull())
        throw Error(isVideo ? QStringLiteral("Impossible de lire la vidéo « %1 ».").arg(info.fileName())
                            : QStringLiteral("Impossible de lire l’image « %1 ».").arg(info.fileName()));
    if (QFileInfo(out).absoluteFilePath() == info.absoluteFilePath())
        throw Error(QStringLiteral("La vignette ne peut pas remplacer le fichier lui-même."));
    QSaveFile target(out);
    if (!target.open(QIODevice::WriteOnly) || !image.save(&target, "PNG", 80) || !target.commit())
        throw Error(QStringLiteral("Impossible d’écrire la vignette « %1 ».").arg(out));
    return 0;
}

const Registration registration{{QStringLiteral("thumbnail"),
                                 QStringLiteral("thumbnail FICHIER --size N --out SORTIE.png"),
                                 QStringLiteral("Écrit la vignette que la galerie des commandes afficherait."),
                                 thumbnail}};

} // namespace
} // namespace tavrin::cli
