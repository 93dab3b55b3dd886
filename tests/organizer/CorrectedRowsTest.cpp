// A row corrected after its photos were copied: the copies follow the notes, and nothing that
// Tavrin did not write, or that changed since, is ever moved.

#include "OrganizerTestSupport.h"
#include "base/TavrinJSON.h"
#include "organizer/PhotoOrganizer.h"
#include "organizer/SpreadsheetWorkspaceModel.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

struct Corrected : VitesseSheet {
    std::unique_ptr<SpreadsheetWorkspaceModel> model;

    void SetUp() override
    {
        VitesseSheet::SetUp();
        QDir().mkpath(destination);
        workspace.storeFolder(destination, WorkspaceStore::FolderKind::destination, sheet);
        model = std::make_unique<SpreadsheetWorkspaceModel>(library, workspace);
        model->setSpreadsheet(sheet);
    }
    OrganizerReport run()
    {
        QEventLoop loop;
        QObject::connect(model.get(), &SpreadsheetWorkspaceModel::runFinished, &loop, &QEventLoop::quit);
        model->runOrganizer();
        if (model->isRunning()) loop.exec();
        EXPECT_TRUE(model->lastReport());
        return model->lastReport().value_or(OrganizerReport{});
    }
    const PreviewRow& row(qsizetype index) const { return model->previews()[index]; }
    QStringList in(const QString& folder) const { return tree(destination + u'/' + folder); }
};

QStringList photos(int from, int to)
{
    QStringList out;
    for (int n = from; n <= to; ++n) out.push_back(QStringLiteral("DSC_%1.JPG").arg(n, 4, 10, QChar(u'0')));
    return out;
}

} // namespace

TEST_F(Corrected, ARowCorrectedAfterTheRunMovesOurCopiesAndNamesTheOthers)
{
    touch(source, photos(120, 135));
    typeRow("0120", "12");
    typeRow("0129", "15");
    typeRow("0133", "20");
    // The photographer had put one photo there by hand before the first run.
    writeFile(destination + "/MARTIN LÉA/DSC_0130.JPG", "DSC_0130.JPG");
    OrganizerReport report = run();
    EXPECT_EQ(report.copied, 15);
    EXPECT_EQ(in("MARTIN LÉA"), photos(129, 132));

    // One copy retouched in the folder since, then Léa's first photo corrected.
    {
        QFile edited(destination + "/MARTIN LÉA/DSC_0131.JPG");
        ASSERT_TRUE(edited.open(QIODevice::Append));
        edited.write(" retouchée");
    }
    library.updateRow(sheet, library.snapshot().spreadsheet(sheet)->rows[1].id, QStringLiteral("0132"), std::nullopt);
    model->rebuildPlan();

    // The plan says what the run will do, and neither row involved stays green.
    QList<PhotoOrganizer::MisplacedCopy> moves = model->plannedMoves();
    ASSERT_EQ(moves.size(), 3);
    EXPECT_EQ(QFileInfo(moves[0].copy.target).fileName(), "DSC_0129.JPG");
    EXPECT_EQ(moves[0].fromFolder, "MARTIN LÉA");
    EXPECT_EQ(moves[0].toFolder, "DUPONT JEAN");
    EXPECT_TRUE(moves[0].movable);
    EXPECT_FALSE(moves[1].movable); // not ours
    EXPECT_FALSE(moves[2].movable); // changed since
    EXPECT_TRUE(row(0).photos.endsWith(" · 1 photo à déplacer depuis MARTIN LÉA")) << row(0).photos.toStdString();
    EXPECT_FALSE(row(0).filesTransferred);
    EXPECT_FALSE(row(1).filesTransferred);
    EXPECT_TRUE(row(2).filesTransferred);
    // The command line's plan says the same.
    QProcess plan;
    plan.start(binDir() + "/tavrin-cli", {"--data-dir", data.path(), "plan", "--spreadsheet", sheet.toString(QUuid::WithoutBraces)});
    ASSERT_TRUE(plan.waitForFinished(60000));
    const QJsonArray planned = TavrinJSON::decodeObject(plan.readAllStandardOutput()).value("moves").toArray();
    ASSERT_EQ(planned.size(), 3);
    EXPECT_EQ(planned[0]["file"].toString(), "DSC_0129.JPG");
    EXPECT_EQ(planned[0]["from"].toString(), "MARTIN LÉA");
    EXPECT_EQ(planned[0]["to"].toString(), "DUPONT JEAN");
    EXPECT_FALSE(planned[0]["leftInPlace"].toBool());
    EXPECT_TRUE(planned[2]["leftInPlace"].toBool());

    report = run();
    EXPECT_EQ(report.messages,
              QStringList({"DUPONT JEAN — 2 photos ajoutées au dossier existant · 9 déjà présentes · 1 photo déplacée depuis MARTIN LÉA",
                           "MARTIN LÉA : DSC_0130.JPG n’appartient plus à ce cavalier (laissée dans le dossier)",
                           "MARTIN LÉA : DSC_0131.JPG n’appartient plus à ce cavalier (laissée dans le dossier)",
                           "MARTIN LÉA — 1 photo déjà présente", "ROUX ZOÉ — 3 photos déjà présentes"}));
    EXPECT_EQ(report.defaultHeadline(), "1 dossier · 2 photos copiées · 1 photo déplacée");
    EXPECT_EQ(in("DUPONT JEAN"), photos(120, 131));
    EXPECT_EQ(in("MARTIN LÉA"), photos(130, 132));
    EXPECT_EQ(readFile(destination + "/DUPONT JEAN/DSC_0129.JPG"), "DSC_0129.JPG");
    EXPECT_EQ(readFile(destination + "/MARTIN LÉA/DSC_0131.JPG"), "DSC_0131.JPG retouchée");
    for (qsizetype i = 0; i < 3; ++i) EXPECT_TRUE(row(i).filesTransferred) << i;

    // Corrected back: Léa's photo returns to her folder, from a copy that is now ours.
    library.updateRow(sheet, library.snapshot().spreadsheet(sheet)->rows[1].id, QStringLiteral("0129"), std::nullopt);
    report = run();
    // Ours now, all three go back; the one retouched there keeps its name beside them.
    EXPECT_EQ(report.moved, 3);
    EXPECT_TRUE(report.messages.contains("MARTIN LÉA — 1 photo déjà présente · 3 photos déplacées depuis DUPONT JEAN"))
        << report.messages.join('\n').toStdString();
    EXPECT_EQ(in("MARTIN LÉA"), QStringList({"DSC_0129.JPG", "DSC_0130.JPG", "DSC_0131 copie.JPG", "DSC_0131.JPG", "DSC_0132.JPG"}));
    EXPECT_EQ(in("DUPONT JEAN"), photos(120, 128));
    EXPECT_EQ(run().defaultHeadline(), "Tout était déjà copié");
}

TEST_F(Corrected, AMoveKilledAtAnyPointLeavesEveryPhotoInOneOfTheTwoFolders)
{
    const QStringList names = photos(1, 400);
    touch(source, names);
    const QList<ImportedPerson> catalog{rider("12", "Dupont", "Jean"), rider("15", "Martin", "Léa")};
    const QString from = destination + "/DUPONT JEAN", to = destination + "/MARTIN LÉA";
    PhotoOrganizer::RunControl first;
    PhotoOrganizer::execute(PhotoOrganizer::plan(test::sheet({{"0001", "12"}}), catalog, source), destination, &first);
    CopyMemory memory;
    for (const CopiedPhoto& copy : *first.placed.begin()) memory.insert(copy.source, copy);
    const QList<PhotoGroup> corrected = PhotoOrganizer::plan(test::sheet({{"0001", "15"}}), catalog, source);

    for (const int delayUs : {300, 1500, 4000}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            PhotoOrganizer::RunControl control;
            control.memory = &memory;
            PhotoOrganizer::execute(corrected, destination, &control);
            ::_exit(0);
        }
        ::usleep(delayUs);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const QStringList left = tree(from), arrived = tree(to);
        for (const QString& name : names)
            ASSERT_TRUE(left.contains(name) || arrived.contains(name)) << name.toStdString() << " after " << delayUs << " µs";
        EXPECT_EQ(arrived.filter(".tavrin-"), QStringList());
    }
    // Run again to the end: every photo in its rider's folder, once, unchanged.
    PhotoOrganizer::RunControl control;
    control.memory = &memory;
    const OrganizerReport report = PhotoOrganizer::execute(corrected, destination, &control);
    EXPECT_EQ(report.copied, 0);
    EXPECT_EQ(tree(from), QStringList());
    EXPECT_EQ(tree(to), names);
    EXPECT_EQ(readFile(to + "/DSC_0400.JPG"), "DSC_0400.JPG");
}

TEST_F(Corrected, AMoveToAnotherDiskCopiesThenRemoves)
{
    SmallDisk disk("size=16m");
    if (!disk.mounted) GTEST_SKIP() << disk.reason.toStdString();
    // Jean's folder lives on another file system: no rename reaches it.
    ASSERT_TRUE(QFile::link(disk.path(), destination + "/DUPONT JEAN"));
    touch(source, photos(1, 3));
    typeRow("0001", "12");
    run();
    ASSERT_EQ(tree(disk.path()), photos(1, 3));
    library.updateRow(sheet, library.snapshot().spreadsheet(sheet)->rows[0].id, std::nullopt, QStringLiteral("15"));
    const OrganizerReport report = run();
    EXPECT_EQ(report.messages, QStringList{"MARTIN LÉA — 3 photos déplacées depuis DUPONT JEAN"});
    EXPECT_EQ(tree(disk.path()), QStringList());
    EXPECT_EQ(in("MARTIN LÉA"), photos(1, 3));
    EXPECT_EQ(readFile(destination + "/MARTIN LÉA/DSC_0002.JPG"), "DSC_0002.JPG");
}
