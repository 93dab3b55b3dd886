#include "cli/Cli.h"
#include "library/LibraryStore.h"
#include "sync/SyncService.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

namespace tavrin::cli {
namespace {

int syncRun(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("prefer"), QStringLiteral("for")});
    if (!args.positional().isEmpty()) throw UsageError(QStringLiteral("sync ne prend pas d’argument hors options"));
    const double seconds = durationOption(args, 30, 86400);

    LibraryStore store;
    SyncService service(QStringLiteral("mac"));
    for (const QString& name : args.values(QStringLiteral("prefer"))) service.setPeerEnabled(name, true);
    service.onLibraryReceived = [&store](const LibrarySnapshot& library) { store.replaceFromRemote(library); };

    QString shown;
    const auto showStatus = [&] {
        const QString title = service.statusTitle();
        if (title == shown) return;
        shown = title;
        printError(title);
    };
    QObject::connect(&service, &SyncService::changed, showStatus);
    service.start(false);
    showStatus();

    QEventLoop loop;
    QTimer::singleShot(qint64(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    store.flush();

    QJsonArray nearby;
    for (const SyncPeer& peer : service.nearbyPeers()) nearby.append(peer.name);
    printJson(QJsonObject{
        {QStringLiteral("status"), service.statusTitle()},
        {QStringLiteral("connectedPeerNames"), QJsonArray::fromStringList(service.connectedPeerNames())},
        {QStringLiteral("nearbyPeers"), nearby},
        {QStringLiteral("preferredPeerNames"), QJsonArray::fromStringList(service.preferredPeerNames())},
    });
    return service.status().kind == SyncStatus::Kind::failed ? 1 : 0;
}

const Registration sync{{QStringLiteral("sync"), QStringLiteral("sync [--prefer NOM]… [--for SECONDES]"),
                         QStringLiteral("Synchronise avec les téléphones choisis pendant la durée donnée (30 s par défaut) "
                                        "et fusionne chaque bibliothèque reçue."),
                         syncRun}};

} // namespace
} // namespace tavrin::cli
