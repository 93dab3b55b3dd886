#include "OrganizerTestSupport.h"
#include "library/LibraryStore.h"
#include "organizer/FollowSession.h"
#include "organizer/PhotoCopier.h"
#include "organizer/SpreadsheetWorkspaceModel.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

using namespace tavrin;
using namespace tavrin::test;

namespace {

constexpr int patience = 60000;

// A photo's bytes: distinct per name, large enough to take a while to copy when asked.
QByteArray photoBytes(const QString& name, int size = 64 * 1024)
{
    QByteArray bytes = name.toUtf8().repeated(size / int(name.size()) + 1);
    bytes.truncate(size);
    return bytes;
}

struct Follow : VitesseSheet {
    void SetUp() override
    {
        VitesseSheet::SetUp();
        QDir().mkpath(destination);
        useDestination(destination);
    }
    void useDestination(const QString& folder)
    {
        destination = folder;
        workspace.storeFolder(folder, WorkspaceStore::FolderKind::destination, sheet);
    }
    // Written in two chunks under its final name, a pause between them.
    void writeSlowly(const QString& name)
    {
        const QByteArray bytes = photoBytes(name);
        QFile file(source + u'/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes.first(bytes.size() / 2));
        file.flush();
        QTest::qWait(150);
        file.write(bytes.sliced(bytes.size() / 2));
    }
    // Written under a hidden temporary name, then renamed into place.
    void writeRenamed(const QString& name)
    {
        writeFile(source + QStringLiteral("/.") + name + QStringLiteral(".tmp"), photoBytes(name));
        ASSERT_TRUE(QFile::rename(source + QStringLiteral("/.") + name + QStringLiteral(".tmp"), source + u'/' + name));
    }
    QStringList in(const QString& folder) const { return tree(destination + u'/' + folder); }
    bool holds(const QString& folder, const QStringList& names) const { return in(folder) == names; }
    QByteArray cli(const QStringList& arguments, const QByteArray& input = {}) const
    {
        QProcess process;
        process.start(binDir() + QStringLiteral("/tavrin-cli"), QStringList{"--data-dir", data.path()} + arguments);
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(patience));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return process.readAllStandardOutput();
    }
    QString sheetArg() const { return sheet.toString(QUuid::WithoutBraces); }
};

} // namespace

TEST_F(Follow, CopiesClosedRangesWholeAndOnceFromEveryKindOfRowAndFile)
{
    typeRow("0001", "12");
    typeRow("0010", "15");
    FollowSession session(library, workspace, sheet);
    session.start();

    writeSlowly("0001.jpg");
    writeSlowly("0002.jpg");
    writeRenamed("0003.jpg");
    writeFile(source + "/notes.txt", "pas une photo");
    writeSlowly("0010.jpg");
    writeSlowly("0012.jpg");
    ASSERT_TRUE(QTest::qWaitFor([&] { return holds("DUPONT JEAN", {"0001.jpg", "0002.jpg", "0003.jpg"}); }, patience));
    for (const QString name : {"0001.jpg", "0002.jpg", "0003.jpg"})
        EXPECT_EQ(readFile(destination + "/DUPONT JEAN/" + name), photoBytes(name)) << name.toStdString();
    // The open range waits for the next row; a photo deleted before then is simply not there.
    EXPECT_FALSE(QDir(destination + "/MARTIN LÉA").exists());
    QFile::remove(source + "/0012.jpg");

    // A row added by another program closes it.
    cli({"library", "add-rows", "--spreadsheet", sheetArg()}, "0020\t99\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return holds("MARTIN LÉA", {"0010.jpg"}); }, patience));

    // A late photo of a range already copied goes at once; a row typed late inside a copied
    // range takes its photos into its own folder.
    writeRenamed("0004.jpg");
    ASSERT_TRUE(QTest::qWaitFor([&] { return in("DUPONT JEAN").contains("0004.jpg"); }, patience));
    typeRow("0003", "20");
    ASSERT_TRUE(QTest::qWaitFor([&] { return holds("ROUX ZOÉ", {"0003.jpg", "0004.jpg"}); }, patience));
    // Its copies moved there from Jean's folder rather than copied twice.
    EXPECT_EQ(in("DUPONT JEAN"), QStringList({"0001.jpg", "0002.jpg"}));
    EXPECT_TRUE(session.statusLine().startsWith("Suivi : 3 dossiers · 5 photos copiées · dernière copie il y a "))
        << session.statusLine().toStdString();
    EXPECT_EQ(session.excessMessages(), QStringList());

    // The last range goes when following ends; one history entry tells the whole session.
    writeSlowly("0021.jpg");
    const qsizetype historyBefore = workspace.actionHistory().size();
    const OrganizerReport report = session.stop();
    EXPECT_EQ(in("99"), QStringList{"0021.jpg"});
    EXPECT_EQ(report.copied, 6);
    EXPECT_EQ(report.moved, 2);
    EXPECT_EQ(report.failed, 0);
    EXPECT_EQ(report.messages.first(), "DUPONT JEAN — 4 photos");
    EXPECT_TRUE(report.messages.contains("ROUX ZOÉ — 2 photos déplacées depuis DUPONT JEAN")) << report.messages.join('\n').toStdString();
    EXPECT_EQ(workspace.actionHistory().size(), historyBefore + 1);
    EXPECT_EQ(tree(destination).filter(".tavrin-"), QStringList());

    // A plain run afterwards finds everything there.
    SpreadsheetWorkspaceModel model(library, workspace);
    model.setSpreadsheet(sheet);
    QEventLoop loop;
    QObject::connect(&model, &SpreadsheetWorkspaceModel::runFinished, &loop, &QEventLoop::quit);
    model.runOrganizer();
    if (model.isRunning()) loop.exec();
    ASSERT_TRUE(model.lastReport());
    EXPECT_EQ(model.lastReport()->copied, 0);
    EXPECT_EQ(model.lastReport()->defaultHeadline(), "Tout était déjà copié");
}

TEST_F(Follow, ARiderCorrectedAfterTheCopyTakesItsPhotosAlongAndForeignFilesStay)
{
    typeRow("0001", "12");
    typeRow("0010", "15");
    touch(source, {"0001.jpg", "0002.jpg", "0010.jpg"});
    FollowSession session(library, workspace, sheet);
    session.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return holds("DUPONT JEAN", {"0001.jpg", "0002.jpg"}); }, patience));
    // One copy retouched in Jean's folder meanwhile is no longer ours to move.
    writeFile(destination + "/DUPONT JEAN/0002.jpg", "retouchée");
    const QUuid first = library.snapshot().spreadsheet(sheet)->rows.first().id;
    library.updateRow(sheet, first, std::nullopt, QStringLiteral("20"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return holds("ROUX ZOÉ", {"0001.jpg", "0002.jpg"}); }, patience));
    const OrganizerReport report = session.stop();
    EXPECT_EQ(in("DUPONT JEAN"), QStringList({"0002.jpg"}));
    EXPECT_EQ(readFile(destination + "/ROUX ZOÉ/0002.jpg"), "0002.jpg");
    EXPECT_EQ(report.messages,
              QStringList({"ROUX ZOÉ — 1 photo · 1 photo déplacée depuis DUPONT JEAN",
                           "DUPONT JEAN : 0002.jpg n’appartient plus à ce cavalier (laissée dans le dossier)",
                           "MARTIN LÉA — 1 photo",
                           "« DUPONT JEAN » contient 1 photo en trop, notée depuis pour une autre ligne : 0002.jpg (rien n’a été supprimé)."}));
}

TEST_F(Follow, APhotoStillOpenForWritingWaitsForItsClose)
{
    typeRow("0001", "12");
    typeRow("0010", "15");
    touch(source, {"0010.jpg"});
    FollowSession session(library, workspace, sheet);
    session.start();
    // A transfer that pauses far longer than a file needs to settle, the range already closed.
    const QByteArray bytes = photoBytes("0001.jpg");
    QFile file(source + "/0001.jpg");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.first(1000));
    file.flush();
    QSignalSpy looks(&session, &FollowSession::looked);
    ASSERT_TRUE(QTest::qWaitFor([&] { return looks.size() >= 6; }, patience));
    EXPECT_FALSE(QFile::exists(destination + "/DUPONT JEAN/0001.jpg"));
    file.write(bytes.sliced(1000));
    file.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return holds("DUPONT JEAN", {"0001.jpg"}); }, patience));
    EXPECT_EQ(readFile(destination + "/DUPONT JEAN/0001.jpg"), bytes);
    session.stop();
}

TEST_F(Follow, ReadOnlyDestinationFailsItsRowsAndFollowingGoesOn)
{
    SmallDisk disk("size=16m");
    if (!disk.mounted) GTEST_SKIP() << disk.reason.toStdString();
    useDestination(disk.path());
    typeRow("0001", "12");
    typeRow("0010", "15");
    touch(source, {"0001.jpg", "0010.jpg"});
    FollowSession session(library, workspace, sheet);
    QStringList failures;
    QObject::connect(&session, &FollowSession::failed, [&](const QUuid&, const QString& m) { failures.push_back(m); });
    session.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return holds("DUPONT JEAN", {"0001.jpg"}); }, patience));

    ASSERT_TRUE(disk.makeReadOnly());
    typeRow("0020", "20");
    touch(source, {"0020.jpg"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !failures.isEmpty(); }, patience));
    EXPECT_TRUE(failures.first().contains("MARTIN LÉA")) << failures.first().toStdString();
    EXPECT_EQ(session.failures().size(), 1);

    // Writable again: the row is tried again and following never stopped.
    ASSERT_TRUE(disk.resize("size=16m"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return holds("MARTIN LÉA", {"0010.jpg"}); }, patience));
    const OrganizerReport report = session.stop();
    EXPECT_EQ(report.failed, 0);
    EXPECT_EQ(report.copied, 3);
}

TEST_F(Follow, CommandLineKilledMidCopyThenRestartedCopiesWhatIsMissingOnce)
{
    typeRow("0001", "12");
    typeRow("0100", "15");
    QStringList names;
    for (int i = 1; i <= 12; ++i) {
        names.push_back(QStringLiteral("%1.jpg").arg(i, 4, 10, QChar(u'0')));
        writeFile(source + u'/' + names.last(), photoBytes(names.last(), 4 * 1024 * 1024));
    }

    QProcess follow;
    follow.start(binDir() + "/tavrin-cli", {"--data-dir", data.path(), "organize", "--spreadsheet", sheetArg(), "--follow"});
    ASSERT_TRUE(follow.waitForStarted());
    const QString rider = destination + "/DUPONT JEAN";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !tree(rider).isEmpty(); }, patience));
    ::kill(pid_t(follow.processId()), SIGKILL);
    ASSERT_TRUE(follow.waitForFinished(patience));
    // Nothing partial under a photo's name.
    for (const QString& name : tree(rider))
        if (!PhotoCopier::isTemporaryName(name.toUtf8())) {
            EXPECT_EQ(readFile(rider + u'/' + name), readFile(source + u'/' + name));
        }

    // Restarted and ended by SIGTERM: what was missing is copied, nothing twice.
    QProcess again;
    again.start(binDir() + "/tavrin-cli", {"--data-dir", data.path(), "organize", "--spreadsheet", sheetArg(), "--follow"});
    ASSERT_TRUE(again.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree(rider) == names; }, patience));
    writeFile(source + "/0100.jpg", photoBytes("0100.jpg"));
    QTest::qWait(500);
    ::kill(pid_t(again.processId()), SIGTERM);
    ASSERT_TRUE(again.waitForFinished(patience));
    EXPECT_EQ(again.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(again.exitCode(), 0) << again.readAllStandardError().toStdString();
    EXPECT_EQ(tree(rider), names);
    EXPECT_EQ(in("MARTIN LÉA"), QStringList{"0100.jpg"});
    const QString report = QString::fromUtf8(again.readAllStandardOutput());
    EXPECT_TRUE(report.contains("\"headline\"")) << report.toStdString();

    const QString plain = QString::fromUtf8(cli({"organize", "--spreadsheet", sheetArg()}));
    EXPECT_TRUE(plain.contains("Tout était déjà copié")) << plain.toStdString();
}
