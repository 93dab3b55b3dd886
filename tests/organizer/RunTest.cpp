#include "OrganizerTestSupport.h"
#include "organizer/PhotoCopier.h"
#include "organizer/PhotoOrganizer.h"
#include "organizer/WorkspaceStore.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

struct RunFixture : ::testing::Test {
    QTemporaryDir dir;
    QString source = dir.filePath("cartes");
    QString destination = dir.filePath("DEST");

    QList<PhotoGroup> plan(const SpreadsheetRecord& s, const QList<ImportedPerson>& catalog = {}) const
    {
        return PhotoOrganizer::plan(s, catalog, source);
    }
};

} // namespace

TEST(PhotoCopierTest, CopyNamesNeverReplace)
{
    EXPECT_EQ(PhotoCopier::copyName(u"DSC_0042.JPG", 0), "DSC_0042.JPG");
    EXPECT_EQ(PhotoCopier::copyName(u"DSC_0042.JPG", 1), "DSC_0042 copie.JPG");
    EXPECT_EQ(PhotoCopier::copyName(u"DSC_0042.JPG", 3), "DSC_0042 copie 3.JPG");
    EXPECT_EQ(PhotoCopier::copyName(u"IMG", 1), "IMG copie");
    EXPECT_EQ(PhotoCopier::copyName(u"IMG", 2), "IMG copie 2");

    QTemporaryDir dir;
    touch(dir.path(), {"src/IMG", "dst/IMG", "dst/IMG copie 2"});
    QDir(dir.path()).mkpath(QStringLiteral("dst/IMG copie")); // a folder in the way counts too
    PhotoCopier copier(dir.filePath("dst"));
    EXPECT_EQ(copier.copy(dir.filePath("src/IMG")), "IMG copie 3");
    EXPECT_EQ(copier.copy(dir.filePath("src/IMG")), "IMG copie 4");
    EXPECT_EQ(readFile(dir.filePath("dst/IMG")), "dst/IMG"); // untouched
    EXPECT_EQ(readFile(dir.filePath("dst/IMG copie 4")), "src/IMG");
    // A missing source or a folder fails, and leaves nothing behind.
    EXPECT_THROW(copier.copy(dir.filePath("src/absent.jpg")), PhotoCopier::Failure);
    EXPECT_THROW(copier.copy(dir.filePath("src")), PhotoCopier::Failure);
    EXPECT_EQ(tree(dir.filePath("dst")), QStringList({"IMG", "IMG copie 2", "IMG copie 3", "IMG copie 4"}));
}

TEST_F(RunFixture, CopiesIntoRiderFoldersAndReports)
{
    touch(source, {"0099.jpg", "0100.jpg", "0120.jpg", "0150.jpg", "0160.jpg", "0200.jpg", "0201.jpg"});
    const QList<ImportedPerson> catalog{rider("12", "Dupont", "Jean"), rider("15", "Martin", "Léa"), rider("9", "", "")};
    QList<PhotoGroup> groups = plan(sheet({{"0100", "12"}, {"0150", "012"}, {"0170", "3"}, {"0200", "13 HC"}, {"0201", "9"}}), catalog);
    // Two rows of one rider share his folder; the second one finds it already there.
    const OrganizerReport report = PhotoOrganizer::execute(groups, destination);
    EXPECT_EQ(report.copied, 6);
    EXPECT_EQ(report.folders, 3);
    EXPECT_EQ(report.skipped, 1);
    EXPECT_EQ(report.messages, QStringList({"DUPONT JEAN — 2 photos", "DUPONT JEAN — 2 photos ajoutées au dossier existant",
                                            "3 (sans nom dans le programme) : aucune photo dans l’intervalle 0170 → avant 0200.",
                                            "13 (sans nom dans le programme) — 1 photo", "N° 9 — 1 photo"}));
    EXPECT_EQ(report.defaultHeadline(), "3 dossiers · 6 photos copiées");
    EXPECT_EQ(tree(destination), QStringList({"13/0200.jpg", "9/0201.jpg", "DUPONT JEAN/0100.jpg", "DUPONT JEAN/0120.jpg",
                                              "DUPONT JEAN/0150.jpg", "DUPONT JEAN/0160.jpg"}));

    // A second run finds every photo already there and copies none again.
    OrganizerReport again = PhotoOrganizer::execute(groups, destination);
    EXPECT_EQ(again.copied, 0);
    EXPECT_EQ(again.alreadyPresent, 6);
    EXPECT_EQ(again.messages, QStringList({"DUPONT JEAN — 2 photos déjà présentes", "DUPONT JEAN — 2 photos déjà présentes",
                                           "3 (sans nom dans le programme) : aucune photo dans l’intervalle 0170 → avant 0200.",
                                           "13 (sans nom dans le programme) — 1 photo déjà présente", "N° 9 — 1 photo déjà présente"}));
    EXPECT_EQ(again.defaultHeadline(), "Tout était déjà copié");

    // A different photo under a name already taken still gets its « copie » name; a new one
    // is added; the unchanged one stays as it is.
    writeFile(source + "/0100.jpg", "retouchée");
    touch(source, {"0121.jpg"});
    groups = plan(sheet({{"0100", "12"}, {"0150", "012"}}), catalog);
    again = PhotoOrganizer::execute(groups.first(1), destination);
    EXPECT_EQ(again.messages, QStringList({"DUPONT JEAN — 2 photos ajoutées au dossier existant · 1 copie (fichier déjà présent) · 1 déjà présente"}));
    EXPECT_EQ(again.defaultHeadline(), "1 dossier · 2 photos copiées");
    EXPECT_EQ(readFile(destination + "/DUPONT JEAN/0100.jpg"), "0100.jpg");
    EXPECT_EQ(readFile(destination + "/DUPONT JEAN/0100 copie.jpg"), "retouchée");
    // Its « copie » is found at the next run in turn.
    again = PhotoOrganizer::execute(groups.first(1), destination);
    EXPECT_EQ(again.messages, QStringList({"DUPONT JEAN — 3 photos déjà présentes"}));
    EXPECT_EQ(tree(destination + "/DUPONT JEAN"),
              QStringList({"0100 copie.jpg", "0100.jpg", "0120.jpg", "0121.jpg", "0150.jpg", "0160.jpg"}));
}

TEST_F(RunFixture, ARerunOfThousandsOfCopiedPhotosReadsNone)
{
    TempDataDir data;
    // In memory where it can be: thousands of files on a busy disk take their time.
    SmallDisk disk("size=64m");
    if (disk.mounted) {
        source = disk.path() + "/cartes";
        destination = disk.path() + "/DEST";
    }
    QStringList names;
    for (int i = 1; i <= 2000; ++i) names.push_back(QStringLiteral("DSC_%1.JPG").arg(i, 4, 10, QLatin1Char('0')));
    touch(source, names);
    const SpreadsheetRecord s = sheet({{"1", "12"}, {"1000", "15"}});
    const QList<PhotoGroup> groups = plan(s);
    PhotoOrganizer::RunControl first;
    EXPECT_EQ(PhotoOrganizer::execute(groups, destination, &first).copied, 2000);
    EXPECT_EQ(first.counters, (PhotoCopier::Counters{0, 0, 2000}));
    WorkspaceStore(nullptr).rememberTransfers(groups, s.id, first.placed);

    // What the next run knows comes from the saved workspace, as after a restart.
    const CopyMemory memory = WorkspaceStore(nullptr).rememberedCopies(s.id);
    ASSERT_EQ(memory.size(), 2000);
    PhotoOrganizer::RunControl second;
    second.memory = &memory;
    const OrganizerReport report = PhotoOrganizer::execute(groups, destination, &second);
    EXPECT_EQ(report.defaultHeadline(), "Tout était déjà copié");
    EXPECT_EQ(second.counters, PhotoCopier::Counters{});
    EXPECT_EQ(second.placed, first.placed);

    // Without that memory the photos are compared byte for byte, and still not copied.
    PhotoOrganizer::RunControl unknown;
    PhotoOrganizer::execute(groups, destination, &unknown);
    EXPECT_EQ(unknown.counters.filesCopied, 0);
    EXPECT_EQ(unknown.counters.filesRead, 4000);
}

TEST(PhotoCopierTest, RememberedCopiesAreTrustedOnlyWhileNothingChanged)
{
    QTemporaryDir dir;
    touch(dir.path(), {"src/1.jpg", "src/2.jpg"});
    writeFile(dir.filePath("dst/1.jpg"), "other");
    writeFile(dir.filePath("dst/2.jpg"), "src/2.jpg");
    PhotoCopier copier(dir.filePath("dst"));
    // A different file of the same name, and an identical one.
    EXPECT_EQ(copier.alreadyThere(dir.filePath("src/1.jpg")), std::nullopt);
    EXPECT_EQ(copier.alreadyThere(dir.filePath("src/2.jpg")), "2.jpg");
    const PhotoCopier::Placement placed = copier.place(dir.filePath("src/1.jpg"));
    EXPECT_FALSE(placed.alreadyThere);
    EXPECT_EQ(placed.name, "1 copie.jpg");
    EXPECT_EQ(placed.record.target, dir.filePath("dst/1 copie.jpg"));
    EXPECT_EQ(copier.place(dir.filePath("src/1.jpg")).name, "1 copie.jpg");

    const CopyMemory memory{{placed.record.source, placed.record}};
    const PhotoCopier::Counters before = copier.counters();
    EXPECT_EQ(copier.alreadyThere(dir.filePath("src/1.jpg"), &memory), "1 copie.jpg");
    EXPECT_EQ(copier.counters(), before);
    // The copy now has another size: the memory is not trusted, and the bytes decide.
    writeFile(dir.filePath("dst/1 copie.jpg"), "changed since");
    EXPECT_EQ(copier.alreadyThere(dir.filePath("src/1.jpg"), &memory), std::nullopt);
    // Remembered for another folder: not trusted either.
    CopyMemory elsewhere{{placed.record.source, placed.record}};
    elsewhere.begin()->target = dir.filePath("autre/2.jpg");
    EXPECT_EQ(copier.place(dir.filePath("src/1.jpg"), &elsewhere).name, "1 copie 2.jpg");
}

TEST(OrganizerReportTest, Headlines)
{
    EXPECT_EQ((OrganizerReport{1, 1, 0, {}, {}}).defaultHeadline(), "1 dossier · 1 photo copiée");
    EXPECT_EQ((OrganizerReport{0, 0, 0, {}, {}}).defaultHeadline(), "0 dossier · 0 photo copiée");
    EXPECT_EQ((OrganizerReport{42, 3, 0, {}, {}}).defaultHeadline(), "3 dossiers · 42 photos copiées");
    EXPECT_EQ((OrganizerReport{0, 0, 0, {}, QStringLiteral("Aucun dossier créé")}).defaultHeadline(), "Aucun dossier créé");
    EXPECT_EQ((OrganizerReport{0, 2, 0, {}, {}, 0, 12}).defaultHeadline(), "Tout était déjà copié");
    EXPECT_EQ((OrganizerReport{3, 2, 0, {}, {}, 0, 12}).defaultHeadline(), "2 dossiers · 3 photos copiées");
    EXPECT_EQ((OrganizerReport{0, 2, 1, {}, {}, 1, 12}).defaultHeadline(), "2 dossiers · 0 photo copiée · 1 photo non copiée");
}

TEST_F(RunFixture, NamesWithSlashesOrColonsStayInsideTheDestination)
{
    touch(source, {"1.jpg", "2.jpg", "3.jpg"});
    const QList<PhotoGroup> groups = plan(sheet({{"1", "5"}, {"2", "6"}, {"3", ".."}}), {rider("5", "D'Artois / Dupont", "Jean:Luc"), rider("6", "..", "")});
    // ".." as a folder name would leave the destination: the run stops there with a clear reason.
    try {
        PhotoOrganizer::execute(groups, destination);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.message(), "Impossible de créer le dossier « .. ».");
    }
    EXPECT_EQ(tree(destination), QStringList({"D'ARTOIS DUPONT JEAN LUC/1.jpg"}));
}

TEST_F(RunFixture, SourceFilesVanishingMidRunAreReportedAndTheRunGoesOn)
{
    touch(source, {"1.jpg", "2.jpg", "3.jpg"});
    const QList<PhotoGroup> groups = plan(sheet({{"1", "5"}}));
    QFile::remove(source + "/2.jpg");
    const OrganizerReport report = PhotoOrganizer::execute(groups, destination);
    EXPECT_EQ(report.copied, 2);
    EXPECT_EQ(report.skipped, 1);
    EXPECT_EQ(report.messages, QStringList({"Copie impossible : 2.jpg", "5 (sans nom dans le programme) — 2 photos · 1 non copiée"}));
    EXPECT_EQ(report.defaultHeadline(), "1 dossier · 2 photos copiées · 1 photo non copiée");
    EXPECT_EQ(tree(destination), QStringList({"5/1.jpg", "5/3.jpg"}));
}

TEST_F(RunFixture, CancellingStopsBetweenTwoFilesAndSaysSo)
{
    touch(source, {"1.jpg", "2.jpg", "3.jpg", "4.jpg"});
    const QList<PhotoGroup> groups = plan(sheet({{"1", "5"}, {"3", "6"}}));
    std::atomic_bool cancel{false};
    PhotoOrganizer::RunControl control;
    control.cancelRequested = &cancel;
    QStringList seen;
    control.progress = [&](qint64 done, qint64 total, const QString& rider) {
        seen.push_back(QStringLiteral("%1/%2 %3").arg(done).arg(total).arg(rider));
        if (done == 2) cancel = true;
    };
    const OrganizerReport report = PhotoOrganizer::execute(groups, destination, &control);
    EXPECT_TRUE(control.cancelled);
    EXPECT_EQ(control.groupsFinished, 1);
    EXPECT_EQ(seen, QStringList({"0/4 5 (sans nom dans le programme)", "1/4 5 (sans nom dans le programme)",
                                 "2/4 6 (sans nom dans le programme)"}));
    EXPECT_EQ(report.copied, 3);
    EXPECT_EQ(report.messages.last(), "Organisation annulée — 1 photo non copiée.");
    EXPECT_EQ(tree(destination), QStringList({"5/1.jpg", "5/2.jpg", "6/3.jpg"}));

    // Stopped again within what is already there: it does not claim that everything was.
    cancel = false;
    const OrganizerReport again = PhotoOrganizer::execute(groups, destination, &control);
    EXPECT_EQ(again.alreadyPresent, 3);
    EXPECT_EQ(again.defaultHeadline(), "0 dossier · 0 photo copiée");
}

TEST_F(RunFixture, ADestinationThatCannotBeCreatedStopsTheRun)
{
    touch(source, {"1.jpg"});
    touch(dir.path(), {"file"});
    try {
        PhotoOrganizer::execute(plan(sheet({{"1", "5"}})), dir.filePath("file/DEST"));
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.message(), "Impossible de créer le dossier « DEST ».");
    }
    // A rider folder blocked by a file of that name.
    touch(destination, {"5"});
    EXPECT_THROW(PhotoOrganizer::execute(plan(sheet({{"1", "5"}})), destination), Error);
}

TEST_F(RunFixture, ADestinationNotWritable)
{
    touch(source, {"1.jpg"});
    SmallDisk disk("size=1m,mode=0755");
    if (!disk.mounted) GTEST_SKIP() << disk.reason.toStdString();
    ASSERT_EQ(::mount(nullptr, disk.path().toLocal8Bit().constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    try {
        PhotoOrganizer::execute(plan(sheet({{"1", "5"}})), disk.path() + "/DEST");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.message(), "Vous n’avez pas l’autorisation de créer le dossier « DEST ».");
    }
}

TEST_F(RunFixture, AFullDiskLeavesNoPartialFileAndTheRunEndsCleanly)
{
    SmallDisk disk("size=1m");
    if (!disk.mounted) GTEST_SKIP() << disk.reason.toStdString();
    // Three photos of 400 KB fit twice into 1 MB; the third copy runs out of room midway.
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"}) writeFile(source + u'/' + QLatin1StringView(name), QByteArray(400 * 1024, 'x'));
    writeFile(source + "/5.jpg", "small");
    const QList<PhotoGroup> groups = plan(sheet({{"1", "7"}}));
    PhotoOrganizer::RunControl control;
    const OrganizerReport report = PhotoOrganizer::execute(groups, disk.path(), &control);
    EXPECT_EQ(report.copied, 3);
    EXPECT_EQ(report.skipped, 2);
    EXPECT_EQ(report.failed, 2);
    EXPECT_EQ(report.messages, QStringList({"Copie impossible : 3.jpg", "Copie impossible : 4.jpg",
                                            "7 (sans nom dans le programme) — 3 photos · 2 non copiées",
                                            "Le disque de destination est plein."}));
    EXPECT_EQ(report.defaultHeadline(), "1 dossier · 3 photos copiées · 2 photos non copiées");
    ASSERT_EQ(control.failures.size(), 1);
    EXPECT_EQ(control.failures[0].rowID, groups[0].row.id);
    EXPECT_EQ(PhotoOrganizer::failureMessage(control.failures[0]), "Copie impossible (disque plein) : 3.jpg, 4.jpg");
    // No temporary file and no cut photo under a final name.
    EXPECT_EQ(tree(disk.path()), QStringList({"7/1.jpg", "7/2.jpg", "7/5.jpg"}));
    EXPECT_EQ(readFile(disk.path() + "/7/2.jpg").size(), 400 * 1024);

    // Room made, the run again: only the photos missing are copied, no « copie » of the others.
    ASSERT_TRUE(disk.resize("size=4m"));
    PhotoOrganizer::RunControl again;
    const CopyMemory memory = [&] {
        CopyMemory m;
        for (const CopiedPhoto& copy : control.placed.value(groups[0].row.id)) m.insert(copy.source, copy);
        return m;
    }();
    again.memory = &memory;
    const OrganizerReport rerun = PhotoOrganizer::execute(groups, disk.path(), &again);
    EXPECT_EQ(rerun.messages, QStringList({"7 (sans nom dans le programme) — 2 photos ajoutées au dossier existant · 3 déjà présentes"}));
    EXPECT_EQ(rerun.defaultHeadline(), "1 dossier · 2 photos copiées");
    EXPECT_EQ(tree(disk.path()), QStringList({"7/1.jpg", "7/2.jpg", "7/3.jpg", "7/4.jpg", "7/5.jpg"}));
    EXPECT_EQ(again.counters, (PhotoCopier::Counters{0, 0, 2}));
}

TEST_F(RunFixture, ARiderFolderOnAReadOnlyDiskFailsEachCopyWithItsReason)
{
    SmallDisk disk("size=1m");
    if (!disk.mounted) GTEST_SKIP() << disk.reason.toStdString();
    touch(source, {"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg"});
    QDir(disk.path()).mkpath(QStringLiteral("DEST/5"));
    ASSERT_EQ(::mount(nullptr, disk.path().toLocal8Bit().constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    PhotoOrganizer::RunControl control;
    const OrganizerReport report = PhotoOrganizer::execute(plan(sheet({{"1", "5"}})), disk.path() + "/DEST", &control);
    EXPECT_EQ(report.copied, 0);
    EXPECT_EQ(report.failed, 5);
    EXPECT_EQ(report.messages.last(), "5 (sans nom dans le programme) — 0 photo ajoutée au dossier existant · 5 non copiées");
    ASSERT_EQ(control.failures.size(), 1);
    EXPECT_EQ(PhotoOrganizer::failureMessage(control.failures[0]),
              "Copie impossible (autorisation refusée) : 1.jpg, 2.jpg, 3.jpg et 2 autres");
}

TEST(PhotoCopierTest, LeftoversOfKilledCopiesAreRemovedAndNothingElse)
{
    EXPECT_TRUE(PhotoCopier::isTemporaryName(".tavrin-3w5e11264sgsg.part"));
    for (const char* name : {".tavrin-.part", ".tavrin-ABC.part", ".tavrin-a_b.part", ".tavrin-12345678901234.part",
                             "x.tavrin-1.part", ".tavrin-1.part.jpg", ".tavrin-1"})
        EXPECT_FALSE(PhotoCopier::isTemporaryName(name)) << name;

    QTemporaryDir dir;
    const QStringList kept{".DS_Store", ".tavrin-ABC.part", ".tavrin-notes", "0001.jpg", "x.tavrin-1.part"};
    touch(dir.path(), kept + QStringList{".tavrin-dead1.part", ".tavrin-live1.part"});
    QDir(dir.path()).mkpath(QStringLiteral(".tavrin-dir1.part"));

    // Another process copying right now holds the lock on its temporary file.
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(QFile::encodeName(dir.filePath(".tavrin-live1.part")).constData(), O_RDWR);
        const bool locked = fd >= 0 && ::flock(fd, LOCK_EX) == 0;
        char c = locked ? 'y' : 'n';
        (void)!::write(ready[1], &c, 1);
        (void)!::read(release[0], &c, 1);
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');

    const PhotoCopier copier(dir.path());
    EXPECT_EQ(copier.removeStaleTemporaries(), 1);
    QStringList withLive = kept + QStringList{".tavrin-live1.part"};
    withLive.sort();
    EXPECT_EQ(tree(dir.path()), withLive);
    EXPECT_TRUE(QFileInfo(dir.filePath(".tavrin-dir1.part")).isDir());

    // Once that process is gone, its file is a leftover too.
    (void)!::write(release[1], "x", 1);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(copier.removeStaleTemporaries(), 1);
    EXPECT_EQ(tree(dir.path()), kept);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
}

TEST(RiderFoldersCreationTest, CreatesMissingFoldersAndKeepsTheOthers)
{
    QTemporaryDir dir;
    const QString destination = dir.filePath("Concours");
    touch(destination, {"Dupont Jean/photo.jpg"});
    const QList<ImportedPerson> people{rider("1", "Dupont", "Jean"),   rider("2", "Martin", "Léa"), rider("3", "MARTIN", "LÉA"),
                                       rider("4", "", ""),             rider("5", "Roux / B", "A:x"), rider("6", "martin", "lea"),
                                       rider("7", "Ｆｕｌｌ", "Width")};
    touch(destination, {"FULL WIDTH/x"});
    OrganizerReport report = PhotoOrganizer::createEmptyRiderFolders(people, destination);
    EXPECT_EQ(report.messages, QStringList({"3 dossiers NOM PRENOM créés", "2 déjà présents — ignorés, contenu conservé",
                                            "1 cavalier sans nom ignoré"}));
    EXPECT_EQ(report.defaultHeadline(), "3 dossiers vides créés");
    EXPECT_EQ(report.folders, 3);
    EXPECT_EQ(report.skipped, 3);
    // Accents keep MARTIN LEA apart from MARTIN LÉA; the case and width variants do not.
    EXPECT_EQ(QDir(destination).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList({"Dupont Jean", "FULL WIDTH", "MARTIN LEA", "MARTIN LÉA", "ROUX B A X"}));
    EXPECT_EQ(readFile(destination + "/Dupont Jean/photo.jpg"), "Dupont Jean/photo.jpg");

    report = PhotoOrganizer::createEmptyRiderFolders(people.first(1), destination);
    EXPECT_EQ(report.defaultHeadline(), "Tous les dossiers étaient déjà présents (1)");
    report = PhotoOrganizer::createEmptyRiderFolders({}, destination);
    EXPECT_EQ(report.messages, QStringList({"Aucun cavalier exploitable dans ce programme."}));
    EXPECT_EQ(report.defaultHeadline(), "Aucun dossier créé");
    EXPECT_EQ(report.skipped, 0);
}
