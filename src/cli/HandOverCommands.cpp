#include "cli/HandOverCommands.h"

#include "cli/Cli.h"
#include "handover/HandOverService.h"
#include "net/QrCode.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

namespace tavrin::cli {

std::function<void(const QStringList&)>& handOverMarkDelivered()
{
    static std::function<void(const QStringList&)> hook;
    return hook;
}

namespace {

int handOverRun(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("for"), QStringLiteral("address")});
    if (args.positional().isEmpty()) throw UsageError(QStringLiteral("hand-over attend au moins un fichier"));
    const double seconds = durationOption(args, 300, 86400);
    HandOverService::Options options;
    if (const auto value = args.value(QStringLiteral("address"))) {
        options.address = QHostAddress(*value);
        if (options.address.isNull()) throw UsageError(QStringLiteral("--address attend une adresse IP"));
    }

    HandOverService service;
    service.setOptions(options);
    QEventLoop loop;
    bool delivered = false;
    QStringList fetched;
    service.send(args.positional(), [&](const QStringList& paths) {
        delivered = true;
        fetched = paths;
        if (handOverMarkDelivered()) handOverMarkDelivered()(paths);
        loop.quit();
    });
    const QString url = service.url().toString();
    printError(url);
    printError(QrCode::encode(url).halfBlocks(stderrIsTerminal()));
    printError(fileCountText(int(args.positional().size())) + QStringLiteral(" à récupérer"));
    QObject::connect(&service, &HandOverService::progressChanged, [&] {
        if (service.isRunning()) printError(QStringLiteral("%1 sur %2 récupérés").arg(service.fetchedCount()).arg(args.positional().size()));
    });
    QTimer::singleShot(qint64(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    if (!delivered) fetched = service.fetchedFiles();
    service.stop();

    QJsonArray names;
    for (const QString& path : fetched) names.append(QFileInfo(path).fileName());
    printJson(QJsonObject{{QStringLiteral("url"), url}, {QStringLiteral("delivered"), delivered}, {QStringLiteral("fetched"), names}});
    return 0;
}

const Registration handOver{
    {QStringLiteral("hand-over"), QStringLiteral("hand-over FICHIER… [--for SECONDES] [--address ADRESSE]"),
     QStringLiteral("Partage les fichiers par QR code avec un téléphone du réseau local, jusqu’à ce que tous soient "
                    "récupérés ou pendant la durée donnée (300 s par défaut)."),
     handOverRun}};

} // namespace
} // namespace tavrin::cli
