// The reception from the command line: the cameras' FTP server, the card watch and the backup,
// the same session the window's panel runs.
#include "base/UserDefaults.h"
#include "cli/Cli.h"
#include "cli/StopSignals.h"
#include "library/LibraryStore.h"
#include "organizer/WorkspaceStore.h"
#include "reception/CardImport.h"
#include "reception/CardWatch.h"
#include "reception/FtpServer.h"
#include "reception/ReceptionSession.h"
#include "reception/ShotClasses.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

namespace tavrin::cli {

namespace {

QString folderOption(const Args& args, const QString& name, bool make)
{
    const QString path = args.required(name);
    if (make) QDir().mkpath(path);
    const QFileInfo info(path);
    if (!info.isDir()) throw Error(QStringLiteral("Le dossier « ") + path + QStringLiteral(" » est introuvable."));
    return info.absoluteFilePath();
}

QString landedLine(const LandedPhoto& photo)
{
    QString line = photo.relativePath + QStringLiteral(" · ") + photo.origin + QStringLiteral(" → ") +
                   (photo.classTitle ? QStringLiteral("« ") + *photo.classTitle + QStringLiteral(" »") : QStringLiteral("dossier de réception"));
    line += photo.backedUp ? QStringLiteral(" · sauvegardée") : QString();
    if (!photo.problem.isEmpty()) line += QStringLiteral(" · ") + photo.problem;
    return line;
}

// The classes follow the workspace as the window or another tavrin-cli marks them.
void followClasses(ReceptionSession& session, LibraryStore& library, WorkspaceStore& workspace)
{
    const auto refresh = [&] { session.setClasses(ShotClasses::of(library, workspace)); };
    refresh();
    library.followDiskChanges();
    workspace.followDiskChanges();
    QObject::connect(&workspace, &WorkspaceStore::settingsChanged, &session, refresh);
    QObject::connect(&library, &LibraryStore::snapshotChanged, &session, refresh);
}

int importCard(ReceptionSession& session, const QString& mountPoint)
{
    const CardPlan plan = CardImport::plan(mountPoint, session.folder());
    printError(plan.offer());
    const CardImportResult result = CardImport::run(
        plan, session.folder(),
        [](qsizetype done, qsizetype total) {
            if (stderrIsTerminal()) printError(QStringLiteral("%1 sur %2 copiées").arg(done).arg(total));
        },
        [&](const QString& relative) { session.take(relative, QStringLiteral("carte ") + plan.label); });
    if (!result.problem.isEmpty()) printError(result.problem);
    return int(plan.alreadyThere);
}

int receive(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("folder"), QStringLiteral("backup"), QStringLiteral("ftp-port"), QStringLiteral("ftp-login"),
                          QStringLiteral("ftp-password"), QStringLiteral("for")});
    const QString folder = folderOption(args, QStringLiteral("folder"), true);
    const QString backup = args.value(QStringLiteral("backup")) ? QDir(*args.value(QStringLiteral("backup"))).absolutePath() : QString();
    const double seconds = durationOption(args, 0, 7 * 86400);
    FtpSettings settings = FtpSettings::remembered(UserDefaults::standard());
    if (const auto port = args.value(QStringLiteral("ftp-port"))) {
        bool ok = false;
        const uint n = port->toUInt(&ok);
        if (!ok || n > 65535) throw UsageError(QStringLiteral("--ftp-port attend un numéro de port"));
        settings.port = quint16(n);
    }
    const auto login = args.value(QStringLiteral("ftp-login")), password = args.value(QStringLiteral("ftp-password"));
    if (login.has_value() != password.has_value()) throw UsageError(QStringLiteral("--ftp-login et --ftp-password vont ensemble"));
    if (login) {
        settings.login = *login;
        settings.password = *password;
    }

    LibraryStore library;
    WorkspaceStore workspace;
    ReceptionSession session(folder, backup);
    followClasses(session, library, workspace);
    QObject::connect(&session, &ReceptionSession::landed, [](const LandedPhoto& photo) { printError(landedLine(photo)); });
    QObject::connect(&session, &ReceptionSession::notWhole, [](const QString& path, const QString& origin) {
        printError(path + QStringLiteral(" · ") + origin + QStringLiteral(" · envoi interrompu, en attente de la reprise"));
    });
    session.start();

    FtpServer server;
    QObject::connect(&server, &FtpServer::received, &session, &ReceptionSession::take);
    QObject::connect(&server, &FtpServer::incomplete, [](const QString& path, const QString& origin) {
        printError(path + QStringLiteral(" · ") + origin + QStringLiteral(" · envoi interrompu, en attente de la reprise"));
    });
    QObject::connect(&server, &FtpServer::refused, [](const QString& address) {
        printError(QStringLiteral("Appareil ") + address + QStringLiteral(" refusé : identifiant ou mot de passe faux"));
    });
    server.start(folder, settings);
    printError(QStringLiteral("Adresse %1 · port %2 · identifiant %3 · mot de passe %4 · dossier /")
                   .arg(FtpServer::localNetworkAddress().toString())
                   .arg(server.port())
                   .arg(settings.login, settings.password));

    QEventLoop loop;
    CardWatch cards;
    QObject::connect(&cards, &CardWatch::cardInserted, [&](const QString& mountPoint) { importCard(session, mountPoint); });
    cards.start();
    QObject::connect(&server, &FtpServer::failed, [&](const QString& message) {
        printError(message);
        loop.quit();
    });
    {
        const StopSignals stopSignals(loop, QStringLiteral("La réception n’a pas pu démarrer."));
        if (seconds > 0) QTimer::singleShot(qint64(seconds * 1000), &loop, &QEventLoop::quit);
        loop.exec();
    }
    server.stop();
    session.finish();
    printError(session.backupLine());

    QJsonArray cameras;
    for (const CameraSeen& camera : session.cameras().cameras())
        cameras.append(QJsonObject{{QStringLiteral("address"), camera.address},
                                   {QStringLiteral("photos"), camera.photoCount()},
                                   {QStringLiteral("missing"), QJsonArray::fromStringList(camera.missing())}});
    printJson(QJsonObject{{QStringLiteral("received"), session.receivedCount()},
                          {QStringLiteral("cameras"), cameras},
                          {QStringLiteral("backedUp"), session.backedUpCount()},
                          {QStringLiteral("notBackedUp"), session.notBackedUpCount()}});
    return 0;
}

int cardImport(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("folder"), QStringLiteral("backup")});
    if (args.positional().size() != 1) throw UsageError(QStringLiteral("card import attend un point de montage"));
    const QString folder = folderOption(args, QStringLiteral("folder"), true);
    const QString backup = args.value(QStringLiteral("backup")) ? QDir(*args.value(QStringLiteral("backup"))).absolutePath() : QString();
    LibraryStore library;
    WorkspaceStore workspace;
    ReceptionSession session(folder, backup);
    followClasses(session, library, workspace);
    qint64 copied = 0;
    QObject::connect(&session, &ReceptionSession::landed, [&](const LandedPhoto& photo) {
        ++copied;
        printError(landedLine(photo));
    });
    const CardPlan plan = CardImport::plan(args.positional().first(), folder);
    printError(plan.offer());
    // Each photo's backup is made while the next one comes off the card.
    const CardImportResult result =
        CardImport::run(plan, folder, {}, [&](const QString& relative) { session.take(relative, QStringLiteral("carte ") + plan.label); });
    session.finish();
    qint64 backedUp = 0;
    for (const QString& relative : result.copied)
        if (!backup.isEmpty() && QFileInfo::exists(QDir(backup).filePath(relative))) ++backedUp;
    printJson(QJsonObject{{QStringLiteral("copied"), qint64(result.copied.size())},
                          {QStringLiteral("alreadyThere"), plan.alreadyThere},
                          {QStringLiteral("backedUp"), backedUp}});
    if (!result.problem.isEmpty()) throw Error(result.problem);
    return 0;
}

const Registration receiveCommand{
    {QStringLiteral("receive"),
     QStringLiteral("receive --folder DOSSIER [--backup DOSSIER] [--ftp-port N] [--ftp-login IDENTIFIANT --ftp-password MOT_DE_PASSE] "
                    "[--for SECONDES]"),
     QStringLiteral("Reçoit les photos des appareils par FTP et des cartes insérées, les range dans l’épreuve en cours et "
                    "en fait une copie vérifiée, jusqu’à la fin de la durée ou Ctrl+C."),
     receive}};
const Registration cardImportCommand{
    {QStringLiteral("card import"), QStringLiteral("card import POINT_DE_MONTAGE --folder DOSSIER [--backup DOSSIER]"),
     QStringLiteral("Copie les photos de la carte qui ne sont pas encore reçues dans le dossier de réception (et la sauvegarde)."),
     cardImport}};

} // namespace
} // namespace tavrin::cli
