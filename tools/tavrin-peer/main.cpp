// tavrin-peer: plays a phone for the desktop's sync, on the local network or on loopback.
#include "PhonePeer.h"

#include "sync/SyncService.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>

using namespace tavrin;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrin-peer"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Joue un téléphone pour la synchro de Tavrin : s’annonce, accepte et compose des liens, et répond à "
        "« hello » et « requestLibrary » avec la bibliothèque d’un fichier JSON."));
    parser.addHelpOption();
    const QCommandLineOption role({QStringLiteral("role")}, QStringLiteral("ios ou android"), QStringLiteral("ROLE"));
    const QCommandLineOption name({QStringLiteral("name")}, QStringLiteral("nom de l’appareil (par défaut TAVRIN iOS XXXX…)"), QStringLiteral("NOM"));
    const QCommandLineOption library({QStringLiteral("library")}, QStringLiteral("LibrarySnapshot JSON à servir"), QStringLiteral("FICHIER"));
    const QCommandLineOption port({QStringLiteral("port")}, QStringLiteral("port TCP (0 : au choix)"), QStringLiteral("PORT"), QStringLiteral("0"));
    const QCommandLineOption noAdvertise({QStringLiteral("no-advertise")}, QStringLiteral("ne pas s’annoncer en DNS-SD"));
    const QCommandLineOption noDial({QStringLiteral("no-dial")}, QStringLiteral("ne jamais composer de lien"));
    const QCommandLineOption connectTo({QStringLiteral("connect")}, QStringLiteral("composer un lien vers ce poste sans DNS-SD"), QStringLiteral("HÔTE:PORT"));
    const QCommandLineOption garbage({QStringLiteral("garbage")}, QStringLiteral("envoyer N trames aléatoires ou mal formées à chaque lien"), QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption oversized({QStringLiteral("oversized")}, QStringLiteral("annoncer une trame trop grande et en envoyer le corps"));
    const QCommandLineOption split({QStringLiteral("split-writes")}, QStringLiteral("écrire par morceaux de N octets"), QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption midFrame({QStringLiteral("disconnect-mid-frame")}, QStringLiteral("couper le lien au milieu de la bibliothèque"));
    const QCommandLineOption slowRead({QStringLiteral("slow-read")}, QStringLiteral("lire un octet toutes les 20 ms"));
    const QCommandLineOption seed({QStringLiteral("seed")}, QStringLiteral("graine des trames aléatoires"), QStringLiteral("N"), QStringLiteral("1"));
    parser.addOptions({role, name, library, port, noAdvertise, noDial, connectTo, garbage, oversized, split, midFrame, slowRead, seed});
    parser.process(app);

    const auto usage = [](const QString& message) {
        std::fprintf(stderr, "tavrin-peer : %s\n", message.toUtf8().constData());
        return 2;
    };
    PhonePeer::Options options;
    options.role = parser.value(role);
    if (options.role != u"ios" && options.role != u"android") return usage(QStringLiteral("--role ios ou --role android"));
    options.name = parser.isSet(name) ? parser.value(name).trimmed() : SyncService::newPeerName(options.role);
    if (options.name.isEmpty()) return usage(QStringLiteral("--name ne peut pas être vide"));
    options.libraryFile = parser.value(library);
    bool ok = true;
    options.port = quint16(parser.value(port).toUInt(&ok));
    if (!ok) return usage(QStringLiteral("--port attend un nombre"));
    options.advertise = !parser.isSet(noAdvertise);
    options.dial = !parser.isSet(noDial);
    if (parser.isSet(connectTo)) {
        const QString target = parser.value(connectTo);
        const qsizetype colon = target.lastIndexOf(u':');
        const quint16 targetPort = colon > 0 ? quint16(target.mid(colon + 1).toUInt(&ok)) : 0;
        if (colon <= 0 || !ok || targetPort == 0) return usage(QStringLiteral("--connect attend HÔTE:PORT"));
        options.connectTo = std::make_pair(target.left(colon), targetPort);
    }
    options.garbageFrames = parser.value(garbage).toInt();
    options.oversized = parser.isSet(oversized);
    options.splitWrites = parser.value(split).toInt();
    options.disconnectMidFrame = parser.isSet(midFrame);
    options.slowReads = parser.isSet(slowRead);
    options.seed = parser.value(seed).toUInt();

    // A write to a desktop that went away must not kill the phone.
    std::signal(SIGPIPE, SIG_IGN);

    PhonePeer peer(options);
    QString error;
    if (!peer.start(error)) {
        std::fprintf(stderr, "tavrin-peer : %s\n", error.toUtf8().constData());
        return 1;
    }
    return app.exec();
}
