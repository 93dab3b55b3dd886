// The spreadsheet workspace and the rider folders from the command line: the same stores, plan,
// run and messages as the window.
#include "cli/Cli.h"
#include "cli/StopSignals.h"
#include "cli/LibraryLookup.h"
#include "library/LibraryStore.h"
#include "organizer/FollowSession.h"
#include "organizer/OrganizerHistoryPanel.h"
#include "organizer/ProgrammeReplacement.h"
#include "organizer/RiderFoldersModel.h"
#include "organizer/SpreadsheetWorkspaceModel.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>


namespace tavrin::cli {
namespace {

QString existingFolder(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isDir()) throw Error(QStringLiteral("Le dossier « ") + path + QStringLiteral(" » est introuvable."));
    return info.absoluteFilePath();
}

void writeReport(JsonWriter& w, const OrganizerReport& report)
{
    w.beginObject();
    w.field(QLatin1StringView("copied"), report.copied);
    w.field(QLatin1StringView("folders"), report.folders);
    w.field(QLatin1StringView("headline"), report.defaultHeadline());
    w.array(QLatin1StringView("messages"), report.messages);
    if (report.moved > 0) w.field(QLatin1StringView("moved"), report.moved);
    w.field(QLatin1StringView("skipped"), report.skipped);
    w.endObject();
}

void printReport(const OrganizerReport& report)
{
    JsonWriter w;
    writeReport(w, report);
    printJsonBytes(w.take());
}

// Photos left behind make the run a failure, whatever else it copied.
int reportExit(const OrganizerReport& report)
{
    printReport(report);
    if (report.failed == 0) return 0;
    printError(report.defaultHeadline());
    return 1;
}

void printSettings(const SpreadsheetMacSettings& settings)
{
    JsonWriter w;
    writeJson(w, settings);
    printJsonBytes(w.take());
}

void printProgramme(const ProgrammeDocument& document)
{
    printJsonBytes(encodeProgramme(document));
    if (!StoredProgramme::hasEvents(document)) printError(QStringLiteral("Aucune épreuve exploitable n’a été lue dans ce fichier."));
}

QString singleArgument(const Args& args, const QString& what)
{
    if (args.positional().size() != 1) throw UsageError(QStringLiteral("indiquez ") + what);
    return args.positional().first();
}

qsizetype rowsLosingTheirRider(const LibrarySnapshot& library, const WorkspaceStore& store, const ProgrammeDocument& next)
{
    return ProgrammeReplacement::rowsLosingTheirRider(library, store, next);
}

qsizetype rowsLosingTheirRider(const LibrarySnapshot& library, const RiderFoldersStore& store, const ProgrammeDocument& next)
{
    return ProgrammeReplacement::rowsLosingTheirRider(library, store.programme(), next);
}

// "import-programme FILE [--replace]" of either workspace: a programme that would leave rows that
// match today without a rider is refused unless --replace says so.
template <typename Store>
int importProgramme(const QStringList& raw)
{
    const Args args(raw, {}, {QStringLiteral("replace")});
    const QString path = singleArgument(args, QStringLiteral("un fichier programme (pdf, xlsx, xlsm)"));
    Store store;
    const StoredProgramme::ReadFile read = store.readProgramme(QFileInfo(path).absoluteFilePath());
    const auto discard = qScopeGuard([&] { StoredProgramme::discard(read); });
    if (!args.flag(QStringLiteral("replace"))) {
        const LibraryStore library;
        if (const qsizetype lost = rowsLosingTheirRider(library.snapshot(), store, read.document); lost > 0)
            throw Error(ProgrammeReplacement::question(lost));
    }
    store.putInPlace(read);
    printProgramme(*store.programme());
    return 0;
}

int workspaceSet(const QStringList& raw)
{
    const Args args(raw,
                    {QStringLiteral("spreadsheet"), QStringLiteral("source"), QStringLiteral("dest"), QStringLiteral("day"),
                     QStringLiteral("event"), QStringLiteral("done")},
                    {QStringLiteral("current")}, {{QStringLiteral("rider"), 3}});
    if (!args.positional().isEmpty()) throw UsageError(QStringLiteral("workspace set ne prend que des options"));
    LibraryStore library;
    WorkspaceStore workspace;
    const QUuid id = spreadsheetNamed(library.snapshot(), args.required(QStringLiteral("spreadsheet")));
    std::optional<bool> done;
    if (const auto value = args.value(QStringLiteral("done"))) {
        if (*value != u"true" && *value != u"false") throw UsageError(QStringLiteral("--done attend true ou false"));
        done = *value == u"true";
    }
    if (const auto source = args.value(QStringLiteral("source")))
        workspace.storeFolder(existingFolder(*source), WorkspaceStore::FolderKind::source, id);
    if (const auto dest = args.value(QStringLiteral("dest"))) {
        QDir().mkpath(*dest);
        workspace.storeFolder(existingFolder(*dest), WorkspaceStore::FolderKind::destination, id);
    }
    if (const auto day = args.value(QStringLiteral("day"))) {
        const QList<ProgrammeDay> days = workspace.programme() ? workspace.programme()->days : QList<ProgrammeDay>();
        if (std::none_of(days.begin(), days.end(), [&](const ProgrammeDay& d) { return d.name == *day; }))
            throw Error(QStringLiteral("Aucun jour « ") + *day + QStringLiteral(" » dans le programme."));
        workspace.selectDay(*day, id);
    }
    if (const auto event = args.value(QStringLiteral("event"))) {
        const QList<ProgrammeEvent> events = workspace.events(workspace.settings(id).selectedDayName);
        if (std::none_of(events.begin(), events.end(), [&](const ProgrammeEvent& e) { return e.id == *event; }))
            throw Error(QStringLiteral("Aucune épreuve « ") + *event + QStringLiteral(" » ce jour-là dans le programme."));
        workspace.selectEvent(*event, id);
    }
    for (const QStringList& rider : args.groups(QStringLiteral("rider"))) workspace.setManualRider(id, rider[0], rider[1], rider[2]);
    if (done) workspace.setCompleted(*done, id);
    if (args.flag(QStringLiteral("current"))) workspace.markShot(id, QDateTime::currentDateTimeUtc());
    printSettings(workspace.settings(id));
    return 0;
}

int plan(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("spreadsheet")});
    LibraryStore library;
    WorkspaceStore workspace;
    SpreadsheetWorkspaceModel model(library, workspace);
    model.setSpreadsheet(spreadsheetNamed(library.snapshot(), args.required(QStringLiteral("spreadsheet"))));
    if (model.parseError()) printError(*model.parseError());
    if (model.sourceProblem()) printError(*model.sourceProblem());

    const QList<PreviewRow> rows = model.previews();
    JsonWriter w;
    w.beginObject();
    w.field(QLatin1StringView("canRun"), model.canRun());
    w.key(QLatin1StringView("groups"));
    w.beginArray();
    // Folder names and riders as the run will use them.
    for (const PhotoGroup& group : model.runGroups()) {
        w.beginObject();
        w.field(QLatin1StringView("assignedNumber"), group.row.assignedNumber);
        w.key(QLatin1StringView("files"));
        w.beginArray();
        for (const QString& file : group.files) w.value(QFileInfo(file).fileName());
        w.endArray();
        w.field(QLatin1StringView("folderName"), group.folderName());
        if (group.person) {
            w.key(QLatin1StringView("person"));
            writeJson(w, *group.person);
        }
        w.field(QLatin1StringView("rangeLabel"), group.rangeLabel());
        w.field(QLatin1StringView("rowID"), group.row.id);
        w.endObject();
    }
    w.endArray();
    w.field(QLatin1StringView("issueCount"), SpreadsheetWorkspaceModel::issueCount(rows));
    w.field(QLatin1StringView("issueHelp"), SpreadsheetWorkspaceModel::issueHelp(rows));
    // Copies the run would move to their rider's folder, or leave where they are and name.
    w.key(QLatin1StringView("moves"));
    w.beginArray();
    for (const PhotoOrganizer::MisplacedCopy& move : model.plannedMoves()) {
        w.beginObject();
        w.field(QLatin1StringView("file"), QFileInfo(move.copy.target).fileName());
        w.field(QLatin1StringView("from"), move.fromFolder);
        w.field(QLatin1StringView("leftInPlace"), !move.movable);
        w.field(QLatin1StringView("rowID"), move.rowID);
        w.field(QLatin1StringView("to"), move.toFolder);
        w.endObject();
    }
    w.endArray();
    w.key(QLatin1StringView("rows"));
    w.beginArray();
    for (const PreviewRow& row : rows) {
        w.beginObject();
        w.field(QLatin1StringView("assigned"), row.assigned);
        w.field(QLatin1StringView("duplicateAssigned"), row.duplicateAssigned);
        w.field(QLatin1StringView("duplicatePhoto"), row.duplicatePhoto);
        w.field(QLatin1StringView("filesTransferred"), row.filesTransferred);
        w.field(QLatin1StringView("firstName"), row.firstName);
        w.field(QLatin1StringView("fromCatalogue"), row.fromCatalogue);
        w.field(QLatin1StringView("hasName"), row.hasName);
        w.field(QLatin1StringView("id"), row.id);
        w.field(QLatin1StringView("isBlank"), row.isBlank);
        w.field(QLatin1StringView("lastName"), row.lastName);
        w.field(QLatin1StringView("photo"), row.photo);
        w.field(QLatin1StringView("photos"), row.photos);
        w.endObject();
    }
    w.endArray();
    w.field(QLatin1StringView("summaryLine"), model.summaryLine(rows));
    w.endObject();
    printJsonBytes(w.take());
    return 0;
}

// Follows the spreadsheet until SECONDS have passed or SIGINT/SIGTERM come, then reports.
int organizeFollowing(const Args& args)
{
    const double seconds = durationOption(args, 0, 7 * 86400); // 0: until stopped
    LibraryStore library;
    WorkspaceStore workspace;
    const QUuid id = spreadsheetNamed(library.snapshot(), args.required(QStringLiteral("spreadsheet")));
    FollowSession session(library, workspace, id);
    QObject::connect(&session, &FollowSession::copied, [&session](const QString& rider, qint64 count) {
        if (count > 0)
            printError(rider + QStringLiteral(" — ") + QString::number(count) + QStringLiteral(" photo") + (count > 1 ? "s" : "")
                       + QStringLiteral(" copiée") + (count > 1 ? "s" : "") + QStringLiteral(" (") + QString::number(session.copiedCount())
                       + QStringLiteral(" en tout)"));
    });
    QObject::connect(&session, &FollowSession::failed, [](const QUuid&, const QString& message) { printError(message); });

    QEventLoop loop;
    // The signals end the loop, so that the last range is copied and the history written.
    const StopSignals stopSignals(loop, QStringLiteral("Le suivi n’a pas pu démarrer."));
    session.start();
    printError(QStringLiteral("Suivi de l’arrivée des photos…"));
    if (seconds > 0) QTimer::singleShot(qint64(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    return reportExit(session.stop());
}

int organize(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("spreadsheet"), QStringLiteral("for")}, {QStringLiteral("follow")});
    if (args.flag(QStringLiteral("follow"))) return organizeFollowing(args);
    if (args.value(QStringLiteral("for"))) throw UsageError(QStringLiteral("--for ne va qu’avec --follow"));
    LibraryStore library;
    WorkspaceStore workspace;
    SpreadsheetWorkspaceModel model(library, workspace);
    const QUuid id = spreadsheetNamed(library.snapshot(), args.required(QStringLiteral("spreadsheet")));
    model.setSpreadsheet(id);
    if (const std::optional<QString> blocker = model.runBlocker()) throw Error(*blocker);

    ProgressBar progress;
    QObject::connect(&model, &SpreadsheetWorkspaceModel::runProgress, [&progress](qint64 done, qint64 total, const QString& rider) {
        progress.update(done, total, rider);
    });
    QEventLoop loop;
    bool stopped = false;
    QObject::connect(&model, &SpreadsheetWorkspaceModel::runFinished, &loop, &QEventLoop::quit);
    {
        // Ctrl-C stops between two files; what was copied is recorded.
        const StopSignals stopSignals([&model, &stopped] { stopped = true; model.cancelRun(); }, QStringLiteral("L’organisation n’a pas pu démarrer."));
        model.runOrganizer();
        if (model.isRunning()) loop.exec();
    }
    if (model.lastReport() && !stopped) progress.complete();
    progress.finish();
    if (!model.lastReport()) {
        if (model.parseError()) throw Error(*model.parseError());
        throw Error(QStringLiteral("Le dossier de destination « ") + model.settings().destinationName.value_or(QString())
                    + QStringLiteral(" » est introuvable."));
    }
    return reportExit(*model.lastReport());
}

int history(const QStringList& raw)
{
    const Args args(raw, {});
    if (!args.positional().isEmpty()) throw UsageError(QStringLiteral("history ne prend pas d’argument"));
    LibraryStore library;
    WorkspaceStore workspace;
    const OrganizerHistoryPanel panel(workspace, library);
    JsonWriter w;
    w.beginArray();
    for (const OrganizerHistorySection& section : panel.sections()) writeJson(w, section);
    w.endArray();
    printJsonBytes(w.take());
    return 0;
}

int riderFoldersSetDestination(const QStringList& raw)
{
    const QString path = singleArgument(Args(raw, {}), QStringLiteral("un dossier de destination"));
    QDir().mkpath(path);
    RiderFoldersStore store;
    store.storeDestination(existingFolder(path));
    return 0;
}

int riderFoldersCreate(const QStringList& raw)
{
    const Args args(raw, {});
    if (!args.positional().isEmpty()) throw UsageError(QStringLiteral("rider-folders create ne prend pas d’argument"));
    RiderFoldersStore store;
    RiderFoldersModel model(store);
    model.create();
    if (model.errorText()) throw Error(*model.errorText());
    printReport(*model.report());
    return 0;
}

const Registration workspaceImport{{QStringLiteral("workspace import-programme"), QStringLiteral("workspace import-programme FICHIER [--replace]"),
                                    QStringLiteral("Importe le programme des tableurs (pdf, xlsx, xlsm) et l’affiche."),
                                    importProgramme<WorkspaceStore>}};
const Registration set{{QStringLiteral("workspace set"),
                        QStringLiteral("workspace set --spreadsheet TABLEUR [--source DOSSIER] [--dest DOSSIER] [--day NOM] "
                                       "[--event ID] [--rider NUMÉRO NOM PRÉNOM]… [--done true|false] [--current]"),
                        QStringLiteral("Règle les dossiers, le jour, l’épreuve, les noms tapés et la marque « fait » d’un tableur ; "
                                       "--current en fait l’épreuve en cours."),
                        workspaceSet}};
const Registration planCommand{{QStringLiteral("plan"), QStringLiteral("plan --spreadsheet TABLEUR"),
                                QStringLiteral("Affiche les lignes, les groupes de photos et le résumé d’un tableur."), plan}};
const Registration organizeCommand{{QStringLiteral("organize"), QStringLiteral("organize --spreadsheet TABLEUR [--follow [--for SECONDES]]"),
                                    QStringLiteral("Copie les photos de chaque ligne dans son dossier NOM PRENOM et affiche le rapport ; "
                                                   "avec --follow, continue pendant que les photos et les lignes arrivent."),
                                    organize}};
const Registration historyCommand{{QStringLiteral("history"), QStringLiteral("history"),
                                   QStringLiteral("Affiche l’historique des organisations, par tableur."), history}};
const Registration riderImport{{QStringLiteral("rider-folders import-programme"),
                                QStringLiteral("rider-folders import-programme FICHIER [--replace]"),
                                QStringLiteral("Importe le programme des paniers (pdf, xlsx, xlsm) et l’affiche."),
                                importProgramme<RiderFoldersStore>}};
const Registration riderDestination{{QStringLiteral("rider-folders set-destination"),
                                     QStringLiteral("rider-folders set-destination DOSSIER"),
                                     QStringLiteral("Choisit le dossier où créer les dossiers des cavaliers."),
                                     riderFoldersSetDestination}};
const Registration riderCreate{{QStringLiteral("rider-folders create"), QStringLiteral("rider-folders create"),
                                QStringLiteral("Crée un dossier NOM PRENOM vide par cavalier du programme et affiche le rapport."),
                                riderFoldersCreate}};

} // namespace
} // namespace tavrin::cli
