#include "cli/Cli.h"
#include "programme/ProgrammeFileParser.h"

namespace tavrin::cli {
namespace {

int programmeRead(const QStringList& raw)
{
    const Args args(raw, {});
    if (args.positional().size() != 1) throw UsageError(QStringLiteral("indiquez un fichier programme (pdf, xlsx, xlsm)"));
    const ProgrammeDocument document = ProgrammeFileParser::parse(args.positional().first());
    printJsonBytes(encodeProgramme(document));
    // The workspace says the same when an import gives nothing to choose from.
    if (document.days.isEmpty()) printError(QStringLiteral("Aucune épreuve exploitable n’a été lue dans ce fichier."));
    return 0;
}

const Registration read{{QStringLiteral("programme read"), QStringLiteral("programme read FICHIER"),
                         QStringLiteral("Lit un programme (pdf, xlsx, xlsm) et affiche ses jours, ses épreuves et ses cavaliers."),
                         programmeRead}};

} // namespace
} // namespace tavrin::cli
