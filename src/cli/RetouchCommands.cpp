#include "cli/Cli.h"
#include "cli/RetouchArgument.h"
#include "editing/PhotoRetoucher.h"
#include "editing/RetouchBridges.h"

namespace tavrin::cli {
namespace {

// Tries the retouch chain on a real photo without touching it: decode (orientation applied),
// apply at the photo's own size, write OUT in OUT's format.
int retouchPreview(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("settings"), QStringLiteral("out"), QStringLiteral("quality")});
    if (args.positional().size() != 1) throw UsageError(QStringLiteral("indiquez une photo"));
    const QString qualityText = args.value(QStringLiteral("quality")).value_or(QStringLiteral("full"));
    if (qualityText != QLatin1String("preview") && qualityText != QLatin1String("full"))
        throw UsageError(QStringLiteral("--quality vaut preview ou full"));
    const PhotoRetouchSettings settings = retouchSettingsArgument(args.required(QStringLiteral("settings")));
    const FloatImage image = RetouchBridges::decodeFile(args.positional().first());
    const auto quality = qualityText == QLatin1String("preview") ? RetouchQuality::preview : RetouchQuality::full;
    const auto result = PhotoRetoucher::apply(image, settings, quality);
    if (!result) throw Error(QStringLiteral("Impossible de retoucher cette photo."));
    RetouchBridges::writeFile(*result, args.required(QStringLiteral("out")));
    return 0;
}

const Registration preview{{QStringLiteral("retouch-preview"),
                            QStringLiteral("retouch-preview PHOTO --settings JSON --out SORTIE [--quality preview|full]"),
                            QStringLiteral("Applique la retouche à une photo décodée et écrit le résultat, sans toucher la photo."),
                            retouchPreview}};

} // namespace
} // namespace tavrin::cli
