#include "base/TavrinJSON.h"
#include "cli/Cli.h"
#include "library/LibraryStore.h"

#include <QFile>

namespace tavrin::cli {
namespace {

int libraryShow(const QStringList& raw)
{
    const Args args(raw, {});
    if (!args.positional().isEmpty()) throw UsageError(QStringLiteral("library show ne prend pas d’argument"));
    LibraryStore store;
    printJsonBytes(encodeLibrary(store.snapshot()));
    return 0;
}

int libraryImport(const QStringList& raw)
{
    const Args args(raw, {});
    if (args.positional().isEmpty()) throw UsageError(QStringLiteral("indiquez au moins un fichier .tavrin"));
    LibraryStore store;
    int status = 0;
    for (const QString& path : args.positional()) {
        const auto banner = store.importTavrinFile(path);
        if (!banner) continue; // another extension is ignored, as when opened from the file manager
        printOut(*banner);
        if (*banner == kImportFailedBanner) status = 1;
    }
    return status;
}

int libraryMerge(const QStringList& raw)
{
    const Args args(raw, {});
    if (args.positional().size() != 1) throw UsageError(QStringLiteral("indiquez un fichier LibrarySnapshot"));
    QFile file(args.positional().first());
    if (!file.open(QIODevice::ReadOnly)) throw Error(QStringLiteral("Impossible de lire ") + file.fileName());
    LibrarySnapshot incoming;
    try {
        incoming = decodeLibrary(file.readAll());
    } catch (const Error& e) {
        throw Error(QStringLiteral("Bibliothèque illisible : ") + e.message());
    }
    LibraryStore store;
    store.replaceFromRemote(incoming);
    return 0;
}

const Registration show{{QStringLiteral("library show"), QStringLiteral("library show"),
                         QStringLiteral("Affiche la bibliothèque (LibrarySnapshot)."), libraryShow}};
const Registration import{{QStringLiteral("library import"), QStringLiteral("library import FICHIER.tavrin…"),
                           QStringLiteral("Importe des fichiers de transfert et affiche leur bandeau."), libraryImport}};
const Registration merge{{QStringLiteral("library merge"), QStringLiteral("library merge FICHIER.json"),
                          QStringLiteral("Fusionne une bibliothèque reçue d’un téléphone."), libraryMerge}};

} // namespace
} // namespace tavrin::cli
