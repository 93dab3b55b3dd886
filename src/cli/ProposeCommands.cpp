// « Proposer les lignes » from the command line: the rounds found in the capture times of the
// spreadsheet's photos, each with the rider the start order gives it, and on request the
// certain ones appended to the spreadsheet as a paste of rows would.
#include "base/TavrinJSON.h"
#include "cli/Cli.h"
#include "cli/LibraryLookup.h"
#include "library/LibraryStore.h"
#include "organizer/FileErrors.h"
#include "organizer/WorkspaceStore.h"
#include "rounds/RoundProposalModel.h"

#include <cerrno>

namespace tavrin::cli {
namespace {

void writeRow(JsonWriter& w, const ProposedRow& row)
{
    w.beginObject();
    w.field(QLatin1StringView("assignedNumber"), row.assignedNumber);
    w.field(QLatin1StringView("confidence"), double(qRound(row.confidence * 1000.0)) / 1000.0);
    w.field(QLatin1StringView("doubtful"), row.doubtful);
    w.field(QLatin1StringView("firstCapture"), row.firstCapture);
    w.field(QLatin1StringView("lastCapture"), row.lastCapture);
    w.field(QLatin1StringView("photoCount"), qint64(row.photoCount));
    w.field(QLatin1StringView("photoNumber"), row.photoNumber);
    w.endObject();
}

int propose(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("spreadsheet"), QStringLiteral("absent")}, {QStringLiteral("apply")});
    if (!args.positional().isEmpty()) throw UsageError(QStringLiteral("propose ne prend que des options"));
    LibraryStore library;
    WorkspaceStore workspace;
    const QUuid id = spreadsheetNamed(library.snapshot(), args.required(QStringLiteral("spreadsheet")));
    const SpreadsheetMacSettings settings = workspace.settings(id);
    if (!settings.sourceBookmark) throw Error(QStringLiteral("Choisissez d’abord le dossier des photos."));
    const std::optional<ProgrammeEvent> event = workspace.selectedEvent(id);
    if (!event) throw Error(QStringLiteral("Choisissez d’abord l’épreuve de ce tableur dans le programme."));
    const std::optional<QString> folder = workspace.resolveFolder(WorkspaceStore::FolderKind::source, id);
    if (!folder) throw FileErrors::unreadableFolder(settings.sourceName.value_or(QString()), ENOENT);

    ProgressBar progress;
    const QList<PhotoCapture> captures = CaptureTimes::folder(*folder, [&progress](qsizetype done, qsizetype total) {
        progress.update(done, total, QStringLiteral("heures de prise de vue lues"));
    });
    progress.finish();
    if (captures.isEmpty())
        throw Error(QStringLiteral("Le dossier « ") + settings.sourceName.value_or(*folder) + QStringLiteral(" » ne contient aucune photo."));

    const RoundProposal::Result result = RoundProposal::propose(captures, event->people, library.snapshot().spreadsheet(id)->rows,
                                                                args.values(QStringLiteral("absent")));
    const bool apply = args.flag(QStringLiteral("apply"));
    QList<std::pair<QString, QString>> certain;
    for (const ProposedRow& row : result.rows)
        if (!row.doubtful) certain.append({row.photoNumber, row.assignedNumber});
    const qsizetype added = apply ? appendRows(library, id, certain) : 0;
    QString summary = RoundProposal::summaryLine(result);
    if (apply) summary += QStringLiteral(" · ") + QString::number(added) + (added > 1 ? QStringLiteral(" ajoutées au tableur") : QStringLiteral(" ajoutée au tableur"));

    JsonWriter w;
    w.beginObject();
    w.field(QLatin1StringView("applied"), apply);
    w.key(QLatin1StringView("rows"));
    w.beginArray();
    for (const ProposedRow& row : result.rows) writeRow(w, row);
    w.endArray();
    w.field(QLatin1StringView("summaryLine"), summary);
    w.endObject();
    printJsonBytes(w.take());
    return 0;
}

const Registration proposeCommand{
    {QStringLiteral("propose"), QStringLiteral("propose --spreadsheet TABLEUR [--absent NUMÉRO]… [--apply]"),
     QStringLiteral("Propose une ligne par passage trouvé dans les heures de prise de vue des photos, avec le cavalier "
                    "que l’ordre de départ lui donne ; --apply ajoute au tableur celles qui ne sont pas douteuses."),
     propose}};

} // namespace
} // namespace tavrin::cli
