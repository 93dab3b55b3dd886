#include "cli/Cli.h"
#include "orders/OpenWithApps.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace tavrin::cli {
namespace {

int openWithRun(const QStringList& raw)
{
    const Args args(raw, {});
    if (args.positional().isEmpty()) throw UsageError(QStringLiteral("open-with attend au moins un fichier"));
    for (const QString& path : args.positional())
        if (!QFileInfo(path).isFile()) throw Error(QStringLiteral("Le fichier « %1 » est introuvable.").arg(path));
    QJsonArray out;
    for (const OpenWithApp& app : OpenWithApps::apps(args.positional()))
        out.append(QJsonObject{{QStringLiteral("name"), app.name}, {QStringLiteral("id"), app.id}});
    printJson(out);
    return 0;
}

const Registration openWith{{QStringLiteral("open-with"), QStringLiteral("open-with FICHIER…"),
                             QStringLiteral("Liste les applications capables d’ouvrir tous les fichiers, dans l’ordre du menu."),
                             openWithRun}};

} // namespace
} // namespace tavrin::cli
