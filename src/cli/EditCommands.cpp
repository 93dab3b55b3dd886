#include "cli/Cli.h"
#include "editing/PhotoEdits.h"
#include "editing/PhotoOriginals.h"

#include <QFileInfo>

namespace tavrin::cli {
namespace {

// Runs `work` on every file; a failure is one line naming the file, and the others still run.
// On a terminal, progress shows which photo is being done.
template <typename F>
int forEachPhoto(const QStringList& files, F work, bool showProgress = false)
{
    int status = 0;
    const bool terminal = showProgress && stderrIsTerminal();
    int done = 0;
    for (const QString& file : files) {
        if (terminal)
            printError(QString::number(++done) + u'/' + QString::number(files.size()) + QStringLiteral(" · ") + QFileInfo(file).fileName());
        try {
            work(file);
        } catch (const Error& error) {
            printError(QStringLiteral("« ") + QFileInfo(file).fileName() + QStringLiteral(" » : ") + error.message());
            status = 1;
        }
    }
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
    const QJsonValue json = jsonArgument(args.required(QStringLiteral("settings")));
    if (!json.isObject()) throw Error(QStringLiteral("Les réglages de retouche doivent être un objet JSON."));
    const PhotoRetouchSettings settings = photoRetouchSettingsFromJson(json.toObject());
    const std::optional<QString> watermark = args.value(QStringLiteral("watermark"));
    return forEachPhoto(
        args.positional(), [&](const QString& file) { PhotoEdits::applyRetouch(file, settings, watermark); }, true);
}

int watermark(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("watermark")});
    if (args.positional().isEmpty()) throw UsageError(QStringLiteral("indiquez au moins une photo"));
    const QString image = args.required(QStringLiteral("watermark"));
    return forEachPhoto(
        args.positional(), [&](const QString& file) { PhotoEdits::applyWatermark(file, image); }, true);
}

const Registration retouchCommand{{QStringLiteral("retouch"), QStringLiteral("retouch PHOTO... --settings JSON [--watermark IMAGE]"),
                                   QStringLiteral("Retouche chaque photo depuis sa version d’origine, sans rien perdre."),
                                   retouch}};

const Registration watermarkCommand{{QStringLiteral("watermark"), QStringLiteral("watermark PHOTO... --watermark IMAGE"),
                                     QStringLiteral("Appose le filigrane au bas de chaque photo."), watermark}};

const Registration restoreCommand{{QStringLiteral("restore"), QStringLiteral("restore PHOTO..."),
                                   QStringLiteral("Remet chaque photo telle qu’elle était avant sa première retouche."),
                                   restore}};

} // namespace
} // namespace tavrin::cli
