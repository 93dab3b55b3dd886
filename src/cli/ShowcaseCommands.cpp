#include "cli/Cli.h"
#include "sales/SalesBook.h"
#include "cli/StopSignals.h"

#include "base/Error.h"
#include "net/HttpServer.h"
#include "orders/OrdersStore.h"
#include "net/QrCode.h"
#include "showcase/ShowcasePoster.h"
#include "showcase/ShowcaseService.h"
#include "showcase/ShowcaseSetup.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>


namespace tavrin::cli {

namespace {

// A fixed port by default, so that a printed poster stays right from one show to the next.
constexpr quint16 defaultPort = 8765;

// The orders root the orders screen uses.
QString ordersRoot()
{
    OrdersStore store;
    if (const std::optional<QString> root = ShowcaseSetup::ordersRoot(store.fileURL())) return *root;
    throw Error(QStringLiteral("Aucun dossier de commandes n’est choisi : indiquez-le avec --orders."));
}

QHostAddress addressOption(const Args& args)
{
    if (const auto value = args.value(QStringLiteral("address"))) {
        const QHostAddress address(*value);
        if (address.isNull()) throw UsageError(QStringLiteral("--address attend une adresse IP"));
        return address;
    }
    const QHostAddress address = http::Server::localNetworkAddress();
    if (address.isNull())
        throw Error(QStringLiteral("Aucun réseau local : connectez l’ordinateur au Wi‑Fi du stand, ou indiquez --address."));
    return address;
}

quint16 portOption(const Args& args)
{
    const auto value = args.value(QStringLiteral("port"));
    if (!value) return defaultPort;
    bool ok = false;
    const uint port = value->toUInt(&ok);
    if (!ok || port > 65535) throw UsageError(QStringLiteral("--port attend un numéro de port"));
    return quint16(port);
}

QString showcaseUrl(const QHostAddress& address, quint16 port)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + address.toString() + u']' : address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port);
}

int showcaseRun(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("photos"), QStringLiteral("orders"), QStringLiteral("formats"), QStringLiteral("for"),
                          QStringLiteral("address"), QStringLiteral("port"), QStringLiteral("poster")});
    if (!args.positional().isEmpty()) throw UsageError(QStringLiteral("showcase ne prend pas d’argument"));
    const QHostAddress address = addressOption(args);
    const quint16 port = portOption(args);

    if (const auto poster = args.value(QStringLiteral("poster"))) {
        const QString url = showcaseUrl(address, port == 0 ? defaultPort : port);
        ShowcasePoster::write(url, *poster);
        printJson(QJsonObject{{QStringLiteral("url"), url}, {QStringLiteral("poster"), QFileInfo(*poster).absoluteFilePath()}});
        return 0;
    }

    ShowcaseService::Options options;
    options.photos = args.required(QStringLiteral("photos"));
    options.orders = args.value(QStringLiteral("orders")).value_or(QString());
    if (options.orders.isEmpty()) options.orders = ordersRoot();
    if (const auto list = args.value(QStringLiteral("formats"))) {
        options.formats.clear();
        for (const QString& f : list->split(u',')) {
            const QString name = f.simplified();
            if (name.isEmpty() || name.contains(u'/') || name.startsWith(u'.'))
                throw UsageError(QStringLiteral("--formats attend des noms de sections séparés par des virgules"));
            options.formats.append(name);
        }
    }
    const double seconds = durationOption(args, 0, 7 * 86400); // 0: until stopped
    {
        OrdersStore store;
        options.watermark = store.resolveWatermark();
        options.prices = SalesBook(store).prices();
    }
    options.programmes = ShowcaseCatalogue::knownProgrammes();
    options.server.address = address;
    options.server.port = port;

    ShowcaseService service;
    service.start(options);
    const QString url = service.url().toString();
    printError(url);
    printError(QrCode::encode(url).halfBlocks(stderrIsTerminal()));
    QObject::connect(&service, &ShowcaseService::orderPlaced, [](const QString& name) {
        printError(QStringLiteral("Commande reçue : ") + name);
    });

    QEventLoop loop;
    {
        // SIGINT and SIGTERM end the showcase cleanly: connections closed, the report printed.
        const StopSignals stopSignals(loop, QStringLiteral("La vitrine n’a pas pu démarrer."));
        if (seconds > 0) QTimer::singleShot(qint64(seconds * 1000), &loop, &QEventLoop::quit);
        loop.exec();
    }
    service.stop();

    QJsonArray names;
    for (const QString& name : service.orderFolders()) names.append(name);
    printJson(QJsonObject{{QStringLiteral("url"), url}, {QStringLiteral("orders"), names}});
    return 0;
}

const Registration showcase{
    {QStringLiteral("showcase"),
     QStringLiteral("showcase --photos DOSSIER [--orders DOSSIER] [--formats LISTE] [--for SECONDES] [--address ADRESSE] "
                    "[--port N] · showcase --poster AFFICHE.pdf"),
     QStringLiteral("Ouvre la vitrine du stand aux téléphones du réseau local : recherche d’un cavalier, aperçus filigranés "
                    "et commandes, qui arrivent dans le dossier des commandes ; --poster écrit l’affiche A4 à QR code."),
     showcaseRun}};

} // namespace
} // namespace tavrin::cli
