#include "cli/Cli.h"
#include "cli/RetouchArgument.h"
#include "editing/PhotoEditMemory.h"
#include "editing/PhotoEdits.h"
#include "editing/PhotoOriginals.h"
#include "orders/BatchPhotos.h"

#include <QFileInfo>
#include <QJsonObject>

#include <cmath>

namespace tavrin::cli {
namespace {

// Runs `work` on every file; a failure is one line naming the file, and the others still run.
// On a terminal, progress shows which photo is being done.
template <typename F>
int forEachPhoto(const QStringList& files, F work, bool showProgress = false)
{
    int status = 0;
    ProgressBar progress;
    qsizetype done = 0;
    for (const QString& file : files) {
        if (showProgress) progress.update(done++, files.size(), QFileInfo(file).fileName());
        try {
            work(file);
        } catch (const Error& error) {
            progress.message(QStringLiteral("« ") + QFileInfo(file).fileName() + QStringLiteral(" » : ") + error.message());
            status = 1;
        }
    }
    if (showProgress) progress.update(done, files.size());
    return status;
}

int restore(const QStringList& raw)
{
    const Args args(raw, {});
    if (args.positional().isEmpty()) throw UsageError(QStringLiteral("indiquez au moins une photo"));
    return forEachPhoto(args.positional(), [](const QString& file) { PhotoOriginals::restore(file); });
}

int retouch(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("settings"), QStringLiteral("watermark")});
    if (args.positional().isEmpty()) throw UsageError(QStringLiteral("indiquez au moins une photo"));
    const PhotoRetouchSettings settings = retouchSettingsArgument(args.required(QStringLiteral("settings")));
    // As in the orders workspace: neutral settings would only copy each photo for nothing.
    if (settings.isNeutral()) throw Error(QStringLiteral("Réglez d’abord la retouche dans le panneau de gauche."));
    const std::optional<QString> watermark = args.value(QStringLiteral("watermark"));
    return forEachPhoto(
        BatchPhotos::photosOf(args.positional()), [&](const QString& file) { PhotoEdits::applyRetouch(file, settings, watermark); }, true);
}

int watermark(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("watermark")});
    if (args.positional().isEmpty()) throw UsageError(QStringLiteral("indiquez au moins une photo"));
    const QString image = args.required(QStringLiteral("watermark"));
    return forEachPhoto(
        BatchPhotos::photosOf(args.positional()), [&](const QString& file) { PhotoEdits::applyWatermark(file, image); }, true);
}

// The look given on the command line completes the photo's current one, so that
// `--look '{"format": "a4", "cropValidated": true}'` is enough.
CropEditState lookFromArgument(const QString& argument, const QString& photo)
{
    const QJsonValue json = jsonArgument(argument);
    if (!json.isObject()) throw Error(QStringLiteral("Le réglage du recadrage doit être un objet JSON."));
    QJsonObject look = toJson(PhotoEditMemory::readOrDefault(photo).current);
    const QJsonObject given = json.toObject();
    for (auto it = given.begin(); it != given.end(); ++it) {
        if (!look.contains(it.key()))
            throw Error(QStringLiteral("Clé inconnue dans le réglage du recadrage : « %1 ». Clés possibles : "
                                       "format, includeWatermark, zoom, offset, angle, retouch, cropValidated.")
                            .arg(it.key()));
        look.insert(it.key(), it.value());
    }
    const CropEditState state = cropEditStateFromJson(look);
    if (!std::isfinite(state.zoom) || state.zoom <= 0)
        throw Error(QStringLiteral("Le zoom du recadrage doit être un nombre positif."));
    if (!std::isfinite(state.angle) || !std::isfinite(state.offset.width()) || !std::isfinite(state.offset.height()))
        throw Error(QStringLiteral("L’angle et le décalage du recadrage doivent être des nombres."));
    return state;
}

int compose(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("look"), QStringLiteral("watermark")});
    if (args.positional().size() != 1) throw UsageError(QStringLiteral("indiquez une seule photo"));
    const QString photo = args.positional().first();
    if (!QFileInfo(photo).isFile()) throw Error(QStringLiteral("La photo « %1 » est introuvable.").arg(photo));
    const CropEditState look = lookFromArgument(args.required(QStringLiteral("look")), photo);
    PhotoEdits::applyLook(photo, look, args.value(QStringLiteral("watermark")));
    return 0;
}

const Registration composeCommand{{QStringLiteral("compose"), QStringLiteral("compose PHOTO --look JSON [--watermark IMAGE]"),
                                   QStringLiteral("Enregistre le recadrage de la photo et la refait depuis sa version d’origine."),
                                   compose}};

const Registration retouchCommand{{QStringLiteral("retouch"), QStringLiteral("retouch PHOTO… --settings JSON [--watermark IMAGE]"),
                                   QStringLiteral("Retouche chaque photo depuis sa version d’origine, sans rien perdre."),
                                   retouch}};

const Registration watermarkCommand{{QStringLiteral("watermark"), QStringLiteral("watermark PHOTO… --watermark IMAGE"),
                                     QStringLiteral("Appose le filigrane au bas de chaque photo."), watermark}};

const Registration restoreCommand{{QStringLiteral("restore"), QStringLiteral("restore PHOTO…"),
                                   QStringLiteral("Remet chaque photo telle qu’elle était avant sa première retouche."),
                                   restore}};

} // namespace
} // namespace tavrin::cli
