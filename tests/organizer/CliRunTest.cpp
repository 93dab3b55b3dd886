#include "OrganizerTestSupport.h"
#include "library/LibraryStore.h"
#include "organizer/PhotoCopier.h"
#include "organizer/WorkspaceStore.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <sys/stat.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

// A data folder with one spreadsheet ready to organise, and `tavrin-cli organize` over it.
struct CliRun : ::testing::Test {
    TempDataDir data;
    QTemporaryDir folders;
    QString source = folders.filePath("cartes");
    QString sheetID;

    void prepare(const QString& destination, const QList<std::pair<QString, QString>>& rows)
    {
        LibraryStore library;
        WorkspaceStore workspace;
        const QUuid sheet = library.addSpreadsheet(library.addDay(QStringLiteral("Samedi")).id, QStringLiteral("Vitesse")).id;
        for (const auto& [photo, assigned] : rows)
            library.updateRow(sheet, library.snapshot().spreadsheet(sheet)->rows.last().id, photo, assigned);
        workspace.adoptProgramme(ProgrammeDocument{
            "programme.xlsx", {{"Samedi", {{"Samedi|Vitesse", "Vitesse", {rider("12", "Dupont", "Jean"), rider("15", "Martin", "Léa")}}}}}});
        workspace.selectDay("Samedi", sheet);
        workspace.selectEvent("Samedi|Vitesse", sheet);
        QDir().mkpath(destination);
        workspace.storeFolder(source, WorkspaceStore::FolderKind::source, sheet);
        workspace.storeFolder(destination, WorkspaceStore::FolderKind::destination, sheet);
        sheetID = sheet.toString(QUuid::WithoutBraces).toUpper();
    }

    void start(QProcess& cli) const
    {
        cli.start(binDir() + QStringLiteral("/tavrin-cli"), {"--data-dir", data.path(), "organize", "--spreadsheet", sheetID});
        ASSERT_TRUE(cli.waitForStarted());
    }

    std::pair<int, QString> organize() const
    {
        QProcess cli;
        start(cli);
        EXPECT_TRUE(cli.waitForFinished(300000));
        return {cli.exitCode(), QString::fromUtf8(cli.readAllStandardError()).trimmed()};
    }
};

bool holdsTemporaryFile(const QString& folder)
{
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) found = found || PhotoCopier::isTemporaryName(QByteArrayView(entry->d_name));
    ::closedir(dir);
    return found;
}

} // namespace

TEST_F(CliRun, AFullDiskFailsTheRunWithItsHeadlineAndLeavesItNotDone)
{
    SmallDisk disk("size=256k");
    if (!disk.mounted) GTEST_SKIP() << disk.reason.toStdString();
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"}) writeFile(source + u'/' + QLatin1StringView(name), QByteArray(100 * 1024, 'x'));
    prepare(disk.path(), {{"1", "12"}});

    const auto [status, error] = organize();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(error, "1 dossier · 2 photos copiées · 2 photos non copiées");
    EXPECT_EQ(tree(disk.path()), QStringList({"DUPONT JEAN/1.jpg", "DUPONT JEAN/2.jpg"}));
    const WorkspaceStore workspace;
    const SpreadsheetMacSettings settings = workspace.allSettings().first();
    EXPECT_FALSE(settings.isCompleted);
    EXPECT_TRUE(settings.rememberedTransfers.isEmpty());
    EXPECT_EQ(workspace.actionHistory().first().headline, error);
}

TEST_F(CliRun, ARunKilledMidCopyIsCleanedUpByTheNextOne)
{
    // Large photos, so that most of the run is spent inside a copy.
    QStringList photos;
    for (int i = 1; i <= 6; ++i) {
        photos.push_back(QStringLiteral("DUPONT JEAN/%1.jpg").arg(i));
        writeFile(source + QStringLiteral("/%1.jpg").arg(i), QByteArray(48 << 20, char('a' + i)));
    }
    const QString destination = folders.filePath("DEST");
    const QString riderFolder = destination + "/DUPONT JEAN";
    prepare(destination, {{"1", "12"}});

    QProcess cli;
    start(cli);
    const pid_t pid = pid_t(cli.processId());
    bool caught = false;
    // Stopped while a temporary file is there, then killed: the copy is cut for good.
    while (!caught && !cli.waitForFinished(0)) {
        if (!holdsTemporaryFile(riderFolder)) {
            ::usleep(500);
            continue;
        }
        ::kill(pid, SIGSTOP);
        caught = holdsTemporaryFile(riderFolder);
        ::kill(pid, caught ? SIGKILL : SIGCONT);
    }
    cli.waitForFinished(300000);
    if (!caught) GTEST_SKIP() << "every copy ended before the run could be stopped inside one";
    ASSERT_TRUE(holdsTemporaryFile(riderFolder));

    const auto [status, error] = organize();
    EXPECT_EQ(status, 0) << error.toStdString();
    const QStringList after = tree(destination);
    EXPECT_FALSE(holdsTemporaryFile(riderFolder)) << after.join(u' ').toStdString();
    for (const QString& photo : photos) EXPECT_TRUE(after.contains(photo)) << photo.toStdString();
    EXPECT_EQ(readFile(riderFolder + "/6.jpg"), QByteArray(48 << 20, 'g'));
}
