#include "cli/Cli.h"
#include "editing/PhotoOriginals.h"

#include <QFileInfo>

namespace tavrin::cli {
namespace {

// Runs `work` on every file; a failure is one line naming the file, and the others still run.
template <typename F>
int forEachPhoto(const QStringList& files, F work)
{
    int status = 0;
    for (const QString& file : files) {
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

const Registration restoreCommand{{QStringLiteral("restore"), QStringLiteral("restore PHOTO..."),
                                   QStringLiteral("Remet chaque photo telle qu’elle était avant sa première retouche."),
                                   restore}};

} // namespace
} // namespace tavrin::cli
