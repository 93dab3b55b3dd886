#include "base/AppSupport.h"
#include "base/TavrinJSON.h"
#include "cli/Cli.h"
#include "cli/LibraryLookup.h"
#include "library/LibraryStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tavrin::cli {
namespace {

// By identifier, or by exact name when only one record has it.
template <typename Record, typename Name>
QUuid named(const QList<Record>& records, const QString& text, Name name, const QString& what, const QString& several)
{
    const std::optional<QUuid> id = TavrinJSON::uuid(text.toUpper());
    QList<QUuid> matches;
    for (const Record& record : records) {
        if (id && record.id == *id) return record.id;
        if (name(record) == text) matches.push_back(record.id);
    }
    if (matches.size() == 1) return matches.first();
    if (matches.isEmpty()) throw Error(what + QStringLiteral(" introuvable : ") + text);
    throw Error(several + QStringLiteral(" ; nommez-le par son identifiant : ") + text);
}

} // namespace

QUuid dayNamed(const LibrarySnapshot& library, const QString& text)
{
    return named(library.days, text, [](const DayRecord& d) { return d.name; }, QStringLiteral("Jour"),
                 QStringLiteral("Plusieurs jours portent ce nom"));
}

QUuid spreadsheetNamed(const LibrarySnapshot& library, const QString& text)
{
    return named(library.spreadsheets, text, [](const SpreadsheetRecord& s) { return s.title; }, QStringLiteral("Tableur"),
                 QStringLiteral("Plusieurs tableurs portent ce titre"));
}

namespace {

int libraryShow(const QStringList& raw)
{
    const Args args(raw, {});
    if (!args.positional().isEmpty()) throw UsageError(QStringLiteral("library show ne prend pas d’argument"));
    LibraryStore store;
    printJsonBytes(encodeLibrary(store.snapshot()));
    return 0;
}

int libraryImport(const QStringList& raw)
{
    const Args args(raw, {});
    if (args.positional().isEmpty()) throw UsageError(QStringLiteral("indiquez au moins un fichier .tavrin"));
    LibraryStore store;
    int status = 0;
    for (const QString& path : args.positional()) {
        const auto banner = store.importTavrinFile(path);
        if (!banner) {
            // The window ignores such a file when it is dropped; here the user named it.
            printError(QStringLiteral("Impossible d’importer « ") + QFileInfo(path).fileName()
                       + QStringLiteral(" » : ce n’est pas un fichier TAVRIN (.tavrin)."));
            status = 1;
        } else if (*banner == kImportFailedBanner) {
            printError(*banner + QStringLiteral(" (") + QFileInfo(path).fileName() + u')');
            status = 1;
        } else {
            printOut(*banner);
        }
    }
    return status;
}

int libraryMerge(const QStringList& raw)
{
    const Args args(raw, {});
    if (args.positional().size() != 1) throw UsageError(QStringLiteral("indiquez un fichier LibrarySnapshot"));
    QFile file(args.positional().first());
    if (!file.open(QIODevice::ReadOnly)) throw Error(QStringLiteral("Impossible de lire ") + file.fileName());
    LibrarySnapshot incoming;
    try {
        incoming = decodeLibrary(file.readAll());
    } catch (const Error& e) {
        throw Error(QStringLiteral("Bibliothèque illisible : ") + e.message());
    }
    LibraryStore store;
    store.replaceFromRemote(incoming);
    return 0;
}

QString singleTitle(const Args& args, const QString& what)
{
    if (args.positional().size() != 1 || args.positional().first().trimmed().isEmpty())
        throw UsageError(QStringLiteral("indiquez ") + what);
    return args.positional().first().trimmed();
}

int libraryAddDay(const QStringList& raw)
{
    const QString title = singleTitle(Args(raw, {}), QStringLiteral("le nom du jour"));
    LibraryStore store;
    printOut(TavrinJSON::uuidString(store.addDay(title).id));
    return 0;
}

int libraryAddSpreadsheet(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("day")});
    const QString title = singleTitle(args, QStringLiteral("le titre du tableur"));
    LibraryStore store;
    const QUuid day = dayNamed(store.snapshot(), args.required(QStringLiteral("day")));
    printOut(TavrinJSON::uuidString(store.addSpreadsheet(day, title).id));
    return 0;
}

// Lines as the table receives a paste: tab-separated cells, trimmed; empty lines are skipped.
QList<LibraryStore::RowPatch> pastedRows(QString text)
{
    text.remove(u'\r');
    QList<LibraryStore::RowPatch> patches;
    for (const QStringView line : QStringView(text).split(u'\n')) {
        const QList<QStringView> cells = line.split(u'\t');
        LibraryStore::RowPatch patch;
        patch.photoNumber = cells.value(0).trimmed().toString();
        if (cells.size() > 1) patch.assignedNumber = cells[1].trimmed().toString();
        if (patch.photoNumber->isEmpty() && patch.assignedNumber.value_or(QString()).isEmpty()) continue;
        patches.push_back(patch);
    }
    return patches;
}

void startFolding();

int libraryAddRows(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("spreadsheet")});
    if (args.positional().size() > 1) throw UsageError(QStringLiteral("indiquez au plus un fichier de lignes"));
    const QString name = args.required(QStringLiteral("spreadsheet"));
    QFile file;
    if (args.positional().isEmpty()) {
        if (!file.open(stdin, QIODevice::ReadOnly)) throw Error(QStringLiteral("Impossible de lire l’entrée standard."));
    } else {
        file.setFileName(args.positional().first());
        if (!file.open(QIODevice::ReadOnly)) throw Error(QStringLiteral("Impossible de lire ") + file.fileName());
    }
    const QByteArray data = file.readAll();
    const QString text = QString::fromUtf8(data);
    if (text.toUtf8() != data) throw Error(QStringLiteral("Les lignes ne sont pas du texte UTF-8."));

    // New rows after the last filled one: the blank row the window may be typing into stays its own.
    QList<LibraryStore::NewRow> rows;
    for (const LibraryStore::RowPatch& patch : pastedRows(text)) rows.push_back({QUuid(), patch});
    const auto resolve = [&](const LibrarySnapshot& library) { return spreadsheetNamed(library, name); };
    if (const auto made = LibraryStore::insertRowsThroughJournal(resolve, rows)) {
        for (const QUuid& row : *made) printOut(TavrinJSON::uuidString(row));
        if (!made->isEmpty()) startFolding();
        return 0;
    }
    LibraryStore store;
    const QUuid id = resolve(store.snapshot());
    if (rows.isEmpty()) return 0;
    for (const QUuid& row : store.insertRows(id, rows)) printOut(TavrinJSON::uuidString(row));
    return 0;
}

// Rows went to the journal: a process of its own writes the whole file meanwhile, unless one
// is already waiting to (it looks at the journal again once done).
void startFolding()
{
    const int fd = ::open(QFile::encodeName(AppSupport::fileInFolder(QStringLiteral("library.folding"))).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const bool waiting = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    if (waiting) return;
    QProcess folder;
    folder.setProgram(QCoreApplication::applicationFilePath());
    folder.setArguments({QStringLiteral("--data-dir"), AppSupport::folder(), QStringLiteral("library"), QStringLiteral("fold")});
    folder.setStandardInputFile(QProcess::nullDevice());
    folder.setStandardOutputFile(QProcess::nullDevice());
    folder.setStandardErrorFile(QProcess::nullDevice());
    folder.startDetached();
}

int libraryFold(const QStringList& raw)
{
    const Args args(raw, {});
    if (!args.positional().isEmpty()) throw UsageError(QStringLiteral("library fold ne prend pas d’argument"));
    const QString folder = AppSupport::folder();
    const QString journal = folder + QStringLiteral("/library.journal");
    const int fd = ::open(QFile::encodeName(folder + QStringLiteral("/library.folding")).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) throw Error(QStringLiteral("Impossible d’écrire dans le dossier des données."));
    // Rows added after a folder took the journal in are left to it: it looks again once done.
    while (QFile::exists(journal) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        // A burst of commands (a script adding rows one by one) is written out once.
        QThread::msleep(200);
        // A folder removed meanwhile (a throwaway one) is not made again.
        if (QFile::exists(journal)) LibraryStore().flush();
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    return 0;
}

const Registration show{{QStringLiteral("library show"), QStringLiteral("library show"),
                         QStringLiteral("Affiche la bibliothèque : les jours, leurs tableurs et leurs lignes."), libraryShow}};
const Registration import{{QStringLiteral("library import"), QStringLiteral("library import FICHIER.tavrin…"),
                           QStringLiteral("Importe des fichiers de transfert et affiche leur bandeau."), libraryImport}};
const Registration addDay{{QStringLiteral("library add-day"), QStringLiteral("library add-day NOM"),
                           QStringLiteral("Crée un jour, comme « Nouveau jour », et affiche son identifiant."), libraryAddDay}};
const Registration addSpreadsheet{{QStringLiteral("library add-spreadsheet"),
                                   QStringLiteral("library add-spreadsheet --day JOUR TITRE"),
                                   QStringLiteral("Crée un tableur dans le jour (identifiant ou nom), comme « Nouveau tableur », "
                                                  "et affiche son identifiant."),
                                   libraryAddSpreadsheet}};
const Registration addRows{{QStringLiteral("library add-rows"), QStringLiteral("library add-rows --spreadsheet TABLEUR [FICHIER]"),
                            QStringLiteral("Ajoute à la fin du tableur les lignes « n° photo⇥n° attribué » du fichier ou de "
                                           "l’entrée standard, comme un collage, et affiche leurs identifiants."),
                            libraryAddRows}};
const Registration fold{{QStringLiteral("library fold"), QStringLiteral("library fold"),
                         QStringLiteral("Récrit library.json en entier avec les lignes ajoutées en attente dans library.journal "
                                        "(add-rows le lance de lui-même)."),
                         libraryFold}};
const Registration merge{{QStringLiteral("library merge"), QStringLiteral("library merge FICHIER.json"),
                          QStringLiteral("Fusionne une bibliothèque reçue d’un téléphone."), libraryMerge}};

} // namespace
} // namespace tavrin::cli
