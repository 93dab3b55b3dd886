#include "cli/Cli.h"
#include "programme/ImportError.h"
#include "programme/WebProgrammeImporter.h"
#include "programme/WebProgrammeParser.h"

#include <QEventLoop>
#include <QFile>

namespace tavrin::cli {
namespace {

QUrl requiredURL(const QString& text)
{
    const auto url = WebProgrammeImporter::preparedURL(text);
    if (!url) throw UsageError(QStringLiteral("adresse de page invalide : ") + text);
    return *url;
}

int programmeSnapshot(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("html"), QStringLiteral("url")});
    if (!args.positional().isEmpty()) throw UsageError(QStringLiteral("argument inattendu : ") + args.positional().first());
    const QString path = args.required(QStringLiteral("html"));
    const QUrl url = requiredURL(args.required(QStringLiteral("url")));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw Error(QStringLiteral("Impossible de lire le fichier ") + path + u'.');
    const auto html = WebProgrammeImporter::decodedBody(file.readAll());
    if (!html) throw Error(QStringLiteral("Le fichier ") + path + QStringLiteral(" ne contient pas de texte."));
    JsonWriter w;
    writeJson(w, WebProgrammeParser::snapshot(*html, url));
    printJsonBytes(w.take());
    return 0;
}

int programmeWeb(const QStringList& raw)
{
    const Args args(raw, {}, {QStringLiteral("contest")});
    if (args.positional().size() != 1) throw UsageError(QStringLiteral("indiquez l’adresse d’une page"));
    const QUrl url = requiredURL(args.positional().first());
    const bool contest = args.flag(QStringLiteral("contest"));
    const bool showProgress = stderrIsTerminal();

    WebProgrammeImporter importer;
    QEventLoop loop;
    WebProgrammeImporter::Outcome outcome;
    const auto finish = [&](WebProgrammeImporter::Outcome result) {
        outcome = std::move(result);
        loop.quit();
    };
    importer.fetchHTML(url, [&](const WebProgrammeImporter::Fetched& page) {
        if (!page.html) return finish({std::nullopt, page.errorMessage});
        if (!contest) {
            try {
                return finish({WebProgrammeImporter::documentForCurrentEvent(*page.html, url), {}});
            } catch (const ImportError& e) {
                return finish({std::nullopt, e.message()});
            }
        }
        importer.documentForContest(
            *page.html, url, [showProgress](const QString& status) { if (showProgress) printError(status); }, finish);
    });
    loop.exec();
    if (!outcome.document) throw Error(outcome.errorMessage);
    printJsonBytes(encodeProgramme(*outcome.document));
    return 0;
}

const Registration snapshot{{QStringLiteral("programme snapshot"),
                             QStringLiteral("programme snapshot --html FICHIER --url ADRESSE"),
                             QStringLiteral("Analyse une page enregistrée comme si elle était affichée à cette adresse."),
                             programmeSnapshot}};
const Registration web{{QStringLiteral("programme web"), QStringLiteral("programme web ADRESSE [--contest]"),
                        QStringLiteral("Importe la liste de départ affichée, ou avec --contest toutes celles du concours."),
                        programmeWeb}};

} // namespace
} // namespace tavrin::cli
