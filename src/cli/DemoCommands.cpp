#include "cli/Cli.h"
#include "demo/DemoCompetition.h"

#include <QDir>

namespace tavrin::cli {
namespace {

QString quoted(const QString& path) { return u'\'' + QString(path).replace(u'\'', QStringLiteral("'\\''")) + u'\''; }

int demo(const QStringList& raw)
{
    const Args args(raw, {});
    if (args.positional().size() != 1) throw UsageError(QStringLiteral("indiquez le dossier de la démonstration"));
    const DemoCompetition::Contents made = DemoCompetition::make(args.positional().first());
    printOut(made.dataFolder);
    if (made.reused) {
        printError(QStringLiteral("La démonstration existe déjà dans « ") + made.folder + QStringLiteral(" » ; rien n’a été modifié."));
    } else {
        const QString in = QStringLiteral(" dans « ");
        printError(QStringLiteral("Démonstration créée dans « ") + made.folder + QStringLiteral(" » :"));
        printError(QStringLiteral("  bibliothèque : un jour et deux tableurs de notes") + in + made.dataFolder + QStringLiteral(" »"));
        printError(QStringLiteral("  programme : ") + QDir(made.folder).relativeFilePath(made.programmeFile)
                   + QStringLiteral(" (deux jours, trois épreuves)"));
        printError(QStringLiteral("  photos : ") + QString::number(DemoCompetition::photoCount) + in + made.photosFolder + QStringLiteral(" »"));
        printError(QStringLiteral("  commandes : deux") + in + made.ordersFolder + QStringLiteral(" », filigrane « ")
                   + QDir(made.folder).relativeFilePath(made.watermarkFile) + QStringLiteral(" »"));
    }
    printError(QStringLiteral("Pour l’ouvrir : tavrin --data-dir ") + quoted(made.dataFolder));
    return 0;
}

const Registration demoCommand{
    {QStringLiteral("demo"), QStringLiteral("demo DOSSIER"),
     QStringLiteral("Crée dans DOSSIER (absent ou vide) une compétition de démonstration : bibliothèque, programme, "
                    "photos, commandes et filigrane, avec son propre dossier de données, qui est affiché. "
                    "Un DOSSIER qui contient déjà la démonstration est repris tel quel ; "
                    "tout autre contenu est refusé, sans rien y toucher. --data-dir est sans effet ici."),
     demo}};

} // namespace
} // namespace tavrin::cli
