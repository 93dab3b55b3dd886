#include "OrganizerTestSupport.h"
#include "base/AppSupport.h"
#include "base/TavrinJSON.h"
#include "base/UserDefaults.h"
#include "library/LibraryStore.h"
#include "organizer/OrganizerHistoryPanel.h"
#include "organizer/PhotoCopier.h"
#include "organizer/RiderFoldersModel.h"
#include "organizer/SpreadsheetWorkspaceModel.h"

#include <QJsonArray>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

using namespace tavrin;
using namespace tavrin::test;

namespace {

// A library with one spreadsheet, the workspace, and the screen showing the spreadsheet.
struct Screen : VitesseSheet {
    std::unique_ptr<SpreadsheetWorkspaceModel> model;

    void SetUp() override
    {
        VitesseSheet::SetUp();
        model = std::make_unique<SpreadsheetWorkspaceModel>(library, workspace);
        model->openFolder = [this](const QString& folder) { opened.push_back(folder); };
        model->setSpreadsheet(sheet);
    }

    // Replaces the rows (the trailing blank row stays).
    void type(const QList<std::pair<QString, QString>>& rows)
    {
        for (const auto& [photo, assigned] : rows) typeRow(photo, assigned);
        model->rebuildPlan();
    }
    QList<PreviewRow> rows() const { return model->rowsForTable(); }
    QStringList opened;

    // `tavrin-cli organize` over the same data folder; its exit status and standard error.
    void startCli(QProcess& cli) const
    {
        cli.start(binDir() + QStringLiteral("/tavrin-cli"),
                  {"--data-dir", data.path(), "organize", "--spreadsheet", sheet.toString(QUuid::WithoutBraces)});
        ASSERT_TRUE(cli.waitForStarted());
    }
    // Another tavrin-cli command over the same data folder; its standard output.
    QByteArray cliOutput(QStringList arguments) const
    {
        QProcess cli;
        cli.start(binDir() + QStringLiteral("/tavrin-cli"), QStringList{"--data-dir", data.path()} + arguments);
        EXPECT_TRUE(cli.waitForFinished(60000));
        EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
        return cli.readAllStandardOutput();
    }
    std::pair<int, QString> organizeWithCli() const
    {
        QProcess cli;
        startCli(cli);
        EXPECT_TRUE(cli.waitForFinished(300000));
        return {cli.exitCode(), QString::fromUtf8(cli.readAllStandardError()).trimmed()};
    }
};

bool holdsTemporaryFile(const QString& folder)
{
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden);
    return std::any_of(names.begin(), names.end(), [](const QString& name) { return PhotoCopier::isTemporaryName(name.toUtf8()); });
}

QStringList markTexts(const PreviewRow& row)
{
    QStringList texts;
    for (const StatusMark& mark : statusMarks(row)) texts.push_back(mark.text);
    return texts;
}

} // namespace

TEST_F(Screen, PreviewRowsNamesAndDuplicates)
{
    touch(source, {"0042.jpg", "0043.jpg", "0050.jpg"});
    type({{"0042", "12"}, {"0050", "012"}, {"DSC_0042", "77"}, {"42", "15"}});
    const QList<PreviewRow> r = rows();
    ASSERT_EQ(r.size(), 5);
    EXPECT_EQ(r[0].lastName, "DUPONT");
    EXPECT_EQ(r[0].firstName, "JEAN");
    // 42 orders before 0042, and both before DSC_0042, which takes the photos up to 0050.
    EXPECT_EQ(r[0].photos, "0 fichier");
    EXPECT_EQ(r[2].photos, "2 fichiers · DSC0042 → avant 0050");
    EXPECT_EQ(r[1].photos, "1 fichier · 0050 → fin du dossier");
    // 12 and 012 are one rider; 0042 and 42 one photo; DSC_0042 is another camera's.
    EXPECT_TRUE(r[0].duplicateAssigned && r[1].duplicateAssigned);
    EXPECT_TRUE(r[0].duplicatePhoto && r[3].duplicatePhoto);
    EXPECT_FALSE(r[2].duplicatePhoto);
    EXPECT_EQ(markTexts(r[0]), QStringList({"N° attribué et n° photo en doublon"}));
    EXPECT_EQ(markTexts(r[2]), QStringList({"Pas de correspondance dans le programme"}));
    EXPECT_EQ(SpreadsheetWorkspaceModel::photoKey("DSC_0042"), "dsc|42");
    // The trailing blank row: no mark, no issue.
    EXPECT_TRUE(r[4].isBlank);
    EXPECT_TRUE(markTexts(r[4]).isEmpty());
    EXPECT_EQ(r[4].photos, "—");

    EXPECT_EQ(SpreadsheetWorkspaceModel::issueCount(r), 4);
    EXPECT_EQ(SpreadsheetWorkspaceModel::issueHelp(r), "4 erreurs : 1 sans correspondance, 3 numéros en doublon");
    EXPECT_EQ(model->summaryLine(r), "3 cavaliers dans l’épreuve · 3 correspondances · 1 sans nom · 3 doublons");
}

TEST_F(Screen, HandTypedNamesFillTheGaps)
{
    type({{"1", "99"}});
    const QUuid row = library.snapshot().spreadsheet(sheet)->rows[0].id;
    model->setManualName(row, QStringLiteral(" Blanc "), std::nullopt);
    PreviewRow r = rows()[0];
    EXPECT_TRUE(r.hasName);
    EXPECT_FALSE(r.fromCatalogue);
    EXPECT_EQ(r.lastName, "Blanc");
    EXPECT_EQ(r.firstName, "");
    EXPECT_TRUE(markTexts(r).isEmpty());
    EXPECT_EQ(model->summaryLine(rows()), "3 cavaliers dans l’épreuve · 1 correspondance");
    EXPECT_EQ(SpreadsheetWorkspaceModel::issueHelp(rows()), "0 erreur");
}

TEST_F(Screen, SummaryAndRunNeedProgrammeEventAndFolders)
{
    touch(source, {"1.jpg"});
    model->rebuildPlan();
    EXPECT_EQ(model->runBlocker(), "Choisissez d’abord le dossier de destination.");
    workspace.storeFolder(destination + "/..", WorkspaceStore::FolderKind::destination, sheet);
    EXPECT_EQ(model->runBlocker(), "Aucune ligne avec n° photo et n° attribué à organiser.");
    type({{"1", "12"}});
    EXPECT_TRUE(model->canRun());

    // An event that a new reading no longer has still shows its title, and the run waits.
    workspace.selectEvent("Samedi|Ancienne épreuve", sheet);
    EXPECT_EQ(model->selectedEventTitle(), "Ancienne épreuve");
    EXPECT_EQ(model->summaryLine(rows()), "Choisissez le jour, puis l’épreuve pour afficher les cavaliers.");
    EXPECT_FALSE(model->canRun());

    TempDataDir fresh;
    WorkspaceStore empty;
    SpreadsheetWorkspaceModel bare(library, empty);
    bare.setSpreadsheet(sheet);
    EXPECT_EQ(bare.summaryLine(bare.rowsForTable()),
              "Importez le programme (fichier ou page internet), puis choisissez le jour et l’épreuve.");
}

TEST_F(Screen, TypingQuicklyRebuildsThePlanOnceAfterTheLastChange)
{
    touch(source, {"1.jpg", "2.jpg"});
    QSignalSpy rebuilt(model.get(), &SpreadsheetWorkspaceModel::planChanged);
    for (const char* assigned : {"1", "12", "12 ", "12"})
        library.updateRow(sheet, library.snapshot().spreadsheet(sheet)->rows.first().id, "1", assigned);
    EXPECT_EQ(rebuilt.count(), 0) << "the rebuild waits for the typing to pause";
    EXPECT_EQ(model->previews()[0].assigned, "12") << "the rows themselves show at once";
    ASSERT_TRUE(rebuilt.wait(1000));
    QTest::qWait(100);
    EXPECT_EQ(rebuilt.count(), 1);
    EXPECT_EQ(model->groups().size(), 1);
}

TEST_F(Screen, AnUnreadableSourceShowsItsErrorAndNoGroups)
{
    type({{"1", "12"}});
    // The card's folder was replaced by a file of that name.
    QDir(source).removeRecursively();
    touch(folders.path(), {"cartes"});
    model->rebuildPlan();
    EXPECT_TRUE(model->groups().isEmpty());
    EXPECT_EQ(model->parseError(), "« cartes » n’est pas un dossier.");
    // An import warning outlives rebuilds; another error does not.
    QFile::remove(source);
    QDir().mkpath(source);
    model->rebuildPlan();
    EXPECT_FALSE(model->parseError());
    // A file that reads but names no rider is refused; the programme in use stays.
    const std::optional<ProgrammeDocument> before = workspace.programme();
    model->importProgramme(fixture("programme/blank-cells.xlsx"));
    model->rebuildPlan();
    EXPECT_EQ(model->parseError(),
              "Aucune épreuve exploitable n’a été lue dans ce fichier. Le programme précédent est conservé.");
    EXPECT_EQ(workspace.programme(), before);
    EXPECT_EQ(WorkspaceStore().programme(), before);
    EXPECT_EQ(model->selectedEventTitle(), "Vitesse");
    model->importProgramme(fixture("programme/html-renamed.xlsx"));
    EXPECT_EQ(model->parseError(), "Fichier Excel illisible.");
}

TEST_F(Screen, TheCommandLineRefusesAProgrammeWithoutEventInBothWorkspaces)
{
    const auto importWithCli = [this](const char* workspaceName) {
        QProcess cli;
        cli.start(binDir() + QStringLiteral("/tavrin-cli"),
                  {"--data-dir", data.path(), workspaceName, "import-programme", fixture("programme/blank-cells.xlsx")});
        EXPECT_TRUE(cli.waitForFinished(60000));
        return std::pair{cli.exitCode(), QString::fromUtf8(cli.readAllStandardError()).trimmed()};
    };
    EXPECT_EQ(importWithCli("workspace"),
              std::pair(1, QStringLiteral("Aucune épreuve exploitable n’a été lue dans ce fichier. Le programme précédent est conservé.")));
    EXPECT_EQ(WorkspaceStore().programme(), workspace.programme());
    EXPECT_EQ(importWithCli("rider-folders"), std::pair(1, QStringLiteral("Aucune épreuve exploitable n’a été lue dans ce fichier.")));
    EXPECT_FALSE(AppSupport::existingRiderProgrammeFile());
}

TEST_F(Screen, TheRunCopiesOffTheMainThreadThenRecordsItsResults)
{
    touch(source, {"0042.jpg", "0043.jpg", "0050.jpg"});
    workspace.storeFolder(folders.path(), WorkspaceStore::FolderKind::destination, sheet);
    type({{"0042", "12"}, {"0050", "99"}});
    model->setManualName(library.snapshot().spreadsheet(sheet)->rows[1].id, "Blanc", "Eva");
    QSignalSpy finished(model.get(), &SpreadsheetWorkspaceModel::runFinished);
    model->runOrganizer();
    EXPECT_TRUE(model->isRunning());
    EXPECT_FALSE(model->canRun());
    ASSERT_TRUE(finished.wait(10000));

    EXPECT_EQ(model->lastReport()->messages, QStringList({"DUPONT JEAN — 2 photos", "BLANC EVA — 1 photo"}));
    EXPECT_TRUE(QFile::exists(folders.filePath("BLANC EVA/0050.jpg")));
    EXPECT_TRUE(workspace.settings(sheet).isCompleted);
    EXPECT_EQ(workspace.actionHistory().first().headline, "2 dossiers · 3 photos copiées");
    EXPECT_EQ(workspace.actionHistory().first().spreadsheetTitle, "Vitesse");
    EXPECT_EQ(opened, QStringList({folders.path()}));
    PreviewRow first = rows()[0];
    EXPECT_TRUE(first.filesTransferred);
    EXPECT_EQ(markTexts(first), QStringList({"Ligne complète, photos transférées"}));

    // The photos leave the card: the row still says what it received.
    for (const char* name : {"0042.jpg", "0043.jpg", "0050.jpg"}) QFile::remove(source + u'/' + QLatin1StringView(name));
    model->rebuildPlan();
    first = rows()[0];
    EXPECT_EQ(first.photos, "2 fichiers · 0042 → avant 0050");
    EXPECT_EQ(markTexts(first), QStringList({"Ligne complète, photos transférées"}));
}

TEST_F(Screen, ACancelledRunRecordsWhatItCopiedButIsNotDone)
{
    QStringList many;
    for (int i = 1; i <= 300; ++i) many.push_back(QString::number(i) + ".jpg");
    touch(source, many);
    workspace.storeFolder(destination, WorkspaceStore::FolderKind::destination, sheet);
    QDir().mkpath(destination);
    workspace.storeFolder(destination, WorkspaceStore::FolderKind::destination, sheet);
    type({{"1", "12"}, {"150", "15"}});
    QSignalSpy finished(model.get(), &SpreadsheetWorkspaceModel::runFinished);
    model->runOrganizer();
    model->cancelRun();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_TRUE(model->lastReport()->messages.last().startsWith("Organisation annulée — "));
    EXPECT_FALSE(workspace.settings(sheet).isCompleted);
    EXPECT_EQ(workspace.actionHistory().size(), 1);
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_LT(workspace.settings(sheet).rememberedTransfers.size(), 2);
}

TEST_F(Screen, ASourceWithoutPhotosOrGoneSaysWhyAndDoesNotRun)
{
    workspace.storeFolder(destination, WorkspaceStore::FolderKind::destination, sheet);
    // The card's root was chosen rather than its photo folder.
    touch(source, {"DCIM/100NIKON/DSC_0001.JPG", "NIKON001.DSC"});
    type({{"1", "12"}});
    const QString hint = "Aucune photo dans « cartes ». Les photos sont dans « DCIM/100NIKON ».";
    EXPECT_EQ(model->sourceProblem(), hint);
    EXPECT_EQ(model->runBlocker(), hint);
    model->runOrganizer();
    EXPECT_FALSE(model->isRunning());

    // Photos copied into the folder are seen without anything else changing.
    QSignalSpy rebuilt(model.get(), &SpreadsheetWorkspaceModel::planChanged);
    touch(source, {"0001.jpg"});
    ASSERT_TRUE(rebuilt.wait(5000));
    EXPECT_FALSE(model->sourceProblem());
    EXPECT_TRUE(model->canRun());

    // The card was taken out: the folder is missing, not the rows.
    QDir(source).removeRecursively();
    ASSERT_TRUE(rebuilt.wait(5000));
    EXPECT_EQ(model->runBlocker(), "Le dossier « cartes » est introuvable.");
}

TEST_F(Screen, ARunThatCopiedNothingIsNotDone)
{
    // The only photo comes before the first row's number.
    touch(source, {"0001.jpg"});
    QDir().mkpath(destination);
    workspace.storeFolder(destination, WorkspaceStore::FolderKind::destination, sheet);
    type({{"0050", "12"}});
    QSignalSpy finished(model.get(), &SpreadsheetWorkspaceModel::runFinished);
    model->runOrganizer();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(model->lastReport()->copied, 0);
    EXPECT_FALSE(workspace.settings(sheet).isCompleted);
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(Screen, FailedCopiesLeaveTheSpreadsheetNotDoneAndShowTheirRows)
{
    SmallDisk disk("size=256k");
    if (!disk.mounted) GTEST_SKIP() << disk.reason.toStdString();
    // Two photos of 100 KB fit, the next two do not; the last rider's small one does.
    for (const char* name : {"0001.jpg", "0002.jpg", "0003.jpg", "0004.jpg"})
        writeFile(source + u'/' + QLatin1StringView(name), QByteArray(100 * 1024, 'x'));
    writeFile(source + "/0005.jpg", "small");
    workspace.storeFolder(disk.path(), WorkspaceStore::FolderKind::destination, sheet);
    type({{"0001", "12"}, {"0005", "15"}});
    const QList<RowRecord> sheetRows = library.snapshot().spreadsheet(sheet)->rows;
    // An earlier run had marked everything done and transferred.
    workspace.rememberTransfers(model->groups(), sheet);
    workspace.setCompleted(true, sheet);

    QSignalSpy finished(model.get(), &SpreadsheetWorkspaceModel::runFinished);
    model->runOrganizer();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(model->lastReport()->failed, 2);
    EXPECT_FALSE(workspace.settings(sheet).isCompleted);
    EXPECT_EQ(workspace.actionHistory().first().headline, "2 dossiers · 3 photos copiées · 2 photos non copiées");
    EXPECT_FALSE(workspace.settings(sheet).rememberedTransfers.contains(sheetRows[0].id));
    EXPECT_TRUE(workspace.settings(sheet).rememberedTransfers.contains(sheetRows[1].id));

    const QList<PreviewRow> r = rows();
    EXPECT_EQ(markTexts(r[0]), QStringList({"Copie impossible (disque plein) : 0003.jpg, 0004.jpg"}));
    EXPECT_EQ(statusMarks(r[0])[0].tone, StatusMark::Tone::red);
    EXPECT_EQ(markTexts(r[1]), QStringList({"Ligne complète, photos transférées"}));

    // Room made, the same run again: the photos missing arrive, the others are not copied twice.
    ASSERT_TRUE(disk.resize("size=4m"));
    model->runOrganizer();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(model->lastReport()->messages,
              QStringList({"DUPONT JEAN — 2 photos ajoutées au dossier existant · 2 déjà présentes", "MARTIN LÉA — 1 photo déjà présente"}));
    EXPECT_EQ(workspace.actionHistory().first().headline, "1 dossier · 2 photos copiées");
    EXPECT_EQ(tree(disk.path()), QStringList({"DUPONT JEAN/0001.jpg", "DUPONT JEAN/0002.jpg", "DUPONT JEAN/0003.jpg",
                                              "DUPONT JEAN/0004.jpg", "MARTIN LÉA/0005.jpg"}));
    EXPECT_TRUE(workspace.settings(sheet).isCompleted);
    const CopyMemory memory = workspace.rememberedCopies(sheet);
    EXPECT_EQ(std::count_if(memory.begin(), memory.end(), [](const CopiedPhoto& c) { return c.target.contains("DUPONT JEAN"); }), 4);

    // Once more, from the command line: everything is there.
    const auto [status, error] = organizeWithCli();
    EXPECT_EQ(status, 0) << error.toStdString();
    EXPECT_EQ(WorkspaceStore().actionHistory().first().headline, "Tout était déjà copié");
}

TEST_F(Screen, PlanAndRunNameTheFolderAfterAHandTypedRider)
{
    touch(source, {"0042.jpg", "0050.jpg", "0060.jpg"});
    QDir().mkpath(destination);
    workspace.storeFolder(destination, WorkspaceStore::FolderKind::destination, sheet);
    type({{"0042", "12"}, {"0050", "99"}, {"0060", "15"}});
    const QString id = sheet.toString(QUuid::WithoutBraces);
    // One number the programme lacks, one whose programme name is replaced.
    cliOutput({"workspace", "set", "--spreadsheet", id, "--rider", "99", "Blanc", "Eva", "--rider", "012", "Noir", "Paul"});

    const QJsonArray groups = TavrinJSON::decodeObject(cliOutput({"plan", "--spreadsheet", id})).value("groups").toArray();
    ASSERT_EQ(groups.size(), 3);
    QStringList folderNames, lastNames;
    for (const QJsonValue& group : groups) {
        folderNames.push_back(group["folderName"].toString());
        lastNames.push_back(group["person"]["lastName"].toString());
    }
    EXPECT_EQ(folderNames, QStringList({"NOIR PAUL", "BLANC EVA", "MARTIN LÉA"}));
    EXPECT_EQ(lastNames, QStringList({"Noir", "Blanc", "Martin"}));

    const auto [status, error] = organizeWithCli();
    ASSERT_EQ(status, 0) << error.toStdString();
    QStringList made;
    for (const QString& name : folderNames) made.push_back(name + "/" + QStringList{"0042.jpg", "0050.jpg", "0060.jpg"}[made.size()]);
    made.sort();
    EXPECT_EQ(tree(destination), made);
}

TEST_F(Screen, TheCommandLineFailsARunWithFailedCopiesWithItsHeadline)
{
    SmallDisk disk("size=256k");
    if (!disk.mounted) GTEST_SKIP() << disk.reason.toStdString();
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"}) writeFile(source + u'/' + QLatin1StringView(name), QByteArray(100 * 1024, 'x'));
    workspace.storeFolder(disk.path(), WorkspaceStore::FolderKind::destination, sheet);
    type({{"1", "12"}});
    const auto [status, error] = organizeWithCli();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(error, "1 dossier · 2 photos copiées · 2 photos non copiées");
    EXPECT_FALSE(WorkspaceStore().settings(sheet).isCompleted);
}

TEST_F(Screen, ARunKilledMidCopyIsCleanedUpByTheNextOne)
{
    // Large photos, so that most of the run is spent inside a copy.
    for (int i = 1; i <= 6; ++i) writeFile(source + QStringLiteral("/%1.jpg").arg(i), QByteArray(48 << 20, char('a' + i)));
    QDir().mkpath(destination);
    workspace.storeFolder(destination, WorkspaceStore::FolderKind::destination, sheet);
    type({{"1", "12"}});
    const QString rider = destination + "/DUPONT JEAN";

    QProcess cli;
    startCli(cli);
    bool caught = false;
    // Stopped while a temporary file is there, then killed: that copy is cut for good.
    while (!caught && !cli.waitForFinished(0)) {
        if (!holdsTemporaryFile(rider)) {
            ::usleep(500);
            continue;
        }
        ::kill(pid_t(cli.processId()), SIGSTOP);
        caught = holdsTemporaryFile(rider);
        ::kill(pid_t(cli.processId()), caught ? SIGKILL : SIGCONT);
    }
    cli.waitForFinished(300000);
    if (!caught) GTEST_SKIP() << "every copy ended before the run could be stopped inside one";

    const auto [status, error] = organizeWithCli();
    EXPECT_EQ(status, 0) << error.toStdString();
    EXPECT_FALSE(holdsTemporaryFile(rider));
    for (int i = 1; i <= 6; ++i) EXPECT_TRUE(QFile::exists(rider + QStringLiteral("/%1.jpg").arg(i))) << i;
    EXPECT_EQ(readFile(rider + "/6.jpg"), QByteArray(48 << 20, 'g'));
}

TEST_F(Screen, HistoryPanelShowsCurrentTitlesAndRemembersFolding)
{
    workspace.recordOrganizer(OrganizerReport{}, sheet, "Ancien titre");
    workspace.recordOrganizer(OrganizerReport{}, QUuid::createUuid(), "Supprimé");
    OrganizerHistoryPanel panel(workspace, library);
    const QList<OrganizerHistorySection> sections = panel.sections();
    EXPECT_EQ(sections[0].title, "Supprimé");
    EXPECT_EQ(sections[1].title, "Vitesse");
    EXPECT_TRUE(panel.expanded());
    EXPECT_EQ(panel.toggleHelp(), "Replier l’historique");
    panel.toggle();
    UserDefaults::resetStandard();
    EXPECT_FALSE(OrganizerHistoryPanel(workspace, library).expanded());
    EXPECT_EQ(panel.toggleHelp(), "Déplier l’historique");
    const QDateTime date = QDateTime(QDate(2026, 12, 4), QTime(23, 18), Qt::LocalTime);
    EXPECT_EQ(OrganizerHistoryPanel::dateText(date), "4 déc. 2026 à 23:18");
}

TEST(RiderFoldersScreenTest, SummaryCreateAndErrors)
{
    TempDataDir data;
    QTemporaryDir dir;
    RiderFoldersStore store;
    RiderFoldersModel model(store);
    EXPECT_EQ(model.summaryLine(), "Choisissez un programme (fichier ou page internet), puis un dossier de destination.");
    model.create();
    EXPECT_EQ(model.errorText(), "Choisissez d’abord le dossier de destination.");
    model.chooseDestination(dir.path());
    model.importProgramme(fixture("programme/blank-cells.xlsx"));
    EXPECT_EQ(model.errorText(), "Aucune épreuve exploitable n’a été lue dans ce fichier.");
    EXPECT_FALSE(store.programme());
    EXPECT_EQ(model.summaryLine(), "Choisissez un programme (fichier ou page internet), puis un dossier de destination.");
    EXPECT_FALSE(model.canCreate());
    model.create();
    EXPECT_EQ(model.errorText(), "Aucun nom et prénom exploitable dans ce programme.");

    model.importProgramme(fixture("programme/weekend.xlsx"));
    EXPECT_FALSE(model.errorText());
    EXPECT_EQ(model.summaryLine(), "9 cavaliers · un dossier NOM PRENOM chacun");
    // Then a wrong file: the programme and its copy stay, for this window and the next start.
    const QString copy = AppSupport::riderFoldersFolder() + "/programme.xlsx";
    const QByteArray keptCopy = readFile(copy);
    model.importProgramme(fixture("programme/blank-cells.xlsx"));
    EXPECT_EQ(model.errorText(), "Aucune épreuve exploitable n’a été lue dans ce fichier. Le programme précédent est conservé.");
    EXPECT_EQ(model.summaryLine(), "9 cavaliers · un dossier NOM PRENOM chacun");
    EXPECT_EQ(readFile(copy), keptCopy);
    EXPECT_EQ(RiderFoldersStore().programme(), store.programme());
    EXPECT_TRUE(model.canCreate());
    model.create();
    EXPECT_EQ(model.report()->defaultHeadline(), "9 dossiers vides créés");
    EXPECT_TRUE(QDir(dir.filePath("DUPONT JEAN")).exists());
}
