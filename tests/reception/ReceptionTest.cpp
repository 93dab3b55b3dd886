// Cameras seen and their gaps, verified copies, and the session: backup absent, full and caught
// up, and photos filed by the class being shot at their capture time.

#include "DatedPhotos.h"
#include "ReceptionPhotos.h"
#include "SmallDisk.h"
#include "TestSupport.h"
#include "organizer/WorkspaceStore.h"
#include "reception/CameraLog.h"
#include "reception/ReceptionSession.h"
#include "reception/VerifiedCopy.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cerrno>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

QStringList temporariesIn(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".tavrin-*")}, QDir::Files | QDir::Hidden);
}

} // namespace

TEST(CameraLogTest, countsPairsOnceAndNamesTheGapsOfEachSeries)
{
    CameraLog log;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int n = 1395; n <= 1412; ++n) {
        if (n == 1398 || n == 1399) continue;
        log.add(QStringLiteral("192.168.1.31"), QStringLiteral("DCIM/DSC_%1.JPG").arg(n), now.addSecs(-3));
    }
    // The RAW of a pair is the same photo.
    log.add(QStringLiteral("192.168.1.31"), QStringLiteral("DCIM/DSC_1412.NEF"), now.addSecs(-3));
    // Another camera, whose counter went round: no gap invented across the wrap.
    log.add(QStringLiteral("192.168.1.32"), QStringLiteral("IMG_9999.JPG"), now);
    log.add(QStringLiteral("192.168.1.32"), QStringLiteral("IMG_0001.JPG"), now);

    ASSERT_EQ(log.cameras().size(), 2);
    const CameraSeen& first = log.cameras()[0];
    EXPECT_EQ(first.photoCount(), 16);
    EXPECT_EQ(first.missing(), QStringList({QStringLiteral("DSC_1398"), QStringLiteral("DSC_1399")}));
    EXPECT_EQ(first.line(now), QStringLiteral("Appareil 192.168.1.31 — 16 photos · dernière DSC_1412 il y a 3 s · "
                                              "2 manquantes : DSC_1398, DSC_1399"));
    EXPECT_TRUE(log.cameras()[1].missing().isEmpty());
    EXPECT_EQ(log.cameras()[1].line(now.addSecs(125)), QStringLiteral("Appareil 192.168.1.32 — 2 photos · dernière IMG_0001 il y a 2 min"));
}

TEST(VerifiedCopyTest, copiesWholeFilesOnceAndNeverReplacesAnother)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("DSC_0001.JPG"));
    makeNoisePhoto(source, 300, 200);
    const QString target = dir.filePath(QStringLiteral("backup"));
    QDir().mkpath(target);
    const quint64 hash = VerifiedCopy::hashFile(source);

    const VerifiedCopy::Result first = VerifiedCopy::copy(source, target, QStringLiteral("DCIM/DSC_0001.JPG"), &hash);
    EXPECT_EQ(first.outcome, VerifiedCopy::Outcome::copied);
    EXPECT_EQ(readFile(target + QStringLiteral("/DCIM/DSC_0001.JPG")), readFile(source));
    EXPECT_EQ(VerifiedCopy::copy(source, target, QStringLiteral("DCIM/DSC_0001.JPG"), &hash).outcome, VerifiedCopy::Outcome::alreadyThere);

    // Another photo under that name stays as it is.
    writeFile(target + QStringLiteral("/other.JPG"), QByteArray(readFile(source).size(), 'x'));
    const VerifiedCopy::Result clash = VerifiedCopy::copy(source, target, QStringLiteral("other.JPG"), &hash);
    EXPECT_EQ(clash.outcome, VerifiedCopy::Outcome::failed);
    EXPECT_EQ(clash.error, EEXIST);
    EXPECT_EQ(readFile(target + QStringLiteral("/other.JPG")), QByteArray(readFile(source).size(), 'x'));
    // A backup folder that is not there (a disk unplugged) is never created.
    EXPECT_EQ(VerifiedCopy::copy(source, dir.filePath(QStringLiteral("gone")), QStringLiteral("a.JPG"), &hash).error, ENOENT);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("gone"))));
    EXPECT_TRUE(temporariesIn(target).isEmpty());
    EXPECT_TRUE(temporariesIn(target + QStringLiteral("/DCIM")).isEmpty());
}

TEST(VerifiedCopyTest, aJpegCutShortIsNotWhole)
{
    QTemporaryDir dir;
    const QString whole = dir.filePath(QStringLiteral("whole.jpg"));
    makeNoisePhoto(whole, 400, 300);
    const QByteArray bytes = readFile(whole);
    EXPECT_TRUE(VerifiedCopy::looksComplete(whole));
    writeFile(dir.filePath(QStringLiteral("padded.jpg")), bytes + QByteArray(512, '\0'));
    EXPECT_TRUE(VerifiedCopy::looksComplete(dir.filePath(QStringLiteral("padded.jpg"))));
    writeFile(dir.filePath(QStringLiteral("cut.jpg")), bytes.left(bytes.size() / 2));
    EXPECT_FALSE(VerifiedCopy::looksComplete(dir.filePath(QStringLiteral("cut.jpg"))));
    writeFile(dir.filePath(QStringLiteral("empty.jpg")), {});
    EXPECT_FALSE(VerifiedCopy::looksComplete(dir.filePath(QStringLiteral("empty.jpg"))));
}

class ReceptionSessionTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("Photos"));
    QString backup = dir.filePath(QStringLiteral("Sauvegarde"));

    void SetUp() override { QDir().mkpath(folder); }

    QString arrive(const QString& name, int width = 600)
    {
        const QString path = QDir(folder).filePath(name);
        makeNoisePhoto(path, width, width * 3 / 4);
        return path;
    }
};

TEST_F(ReceptionSessionTest, anAbsentBackupDiskNeverStopsReceptionAndIsCaughtUpWhenBack)
{
    ReceptionSession session(folder, backup);
    session.start();
    QSignalSpy landed(&session, &ReceptionSession::landed);
    for (const QString& name : {QStringLiteral("DSC_0001.JPG"), QStringLiteral("DSC_0002.JPG"), QStringLiteral("DSC_0003.JPG")}) {
        arrive(name);
        session.take(name, QStringLiteral("192.168.1.31"));
    }
    session.finish();
    EXPECT_EQ(landed.size(), 3);
    EXPECT_EQ(session.receivedCount(), 3);
    EXPECT_EQ(session.backupLine(), QStringLiteral("Disque de sauvegarde absent : 3 photos n’ont qu’une copie"));
    EXPECT_TRUE(session.backupWarning());
    EXPECT_FALSE(QFileInfo::exists(backup));

    QDir().mkpath(backup);
    ASSERT_TRUE(waitFor([&] { return session.notBackedUpCount() == 0; }, 15000)) << session.backupLine().toStdString();
    EXPECT_EQ(session.backupLine(), QStringLiteral("3 photos · 2 copies vérifiées"));
    EXPECT_FALSE(session.backupWarning());
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        EXPECT_EQ(VerifiedCopy::hashFile(QDir(backup).filePath(name)), VerifiedCopy::hashFile(QDir(folder).filePath(name))) << name.toStdString();

    // A restart knows the copies without making them again.
    ReceptionSession again(folder, backup);
    again.start();
    EXPECT_EQ(again.photoCount(), 3);
    EXPECT_EQ(again.notBackedUpCount(), 0);
    EXPECT_EQ(again.receivedCount(), 0);
}

TEST_F(ReceptionSessionTest, aFullBackupDiskLeavesNoPartialCopyAndCatchesUpOnceThereIsRoom)
{
    SmallDisk disk("size=600k");
    if (!disk.mounted) GTEST_SKIP() << disk.reason.toStdString();
    ReceptionSession session(folder, disk.path());
    session.start();
    for (int i = 1; i <= 4; ++i) {
        const QString name = QStringLiteral("DSC_%1.JPG").arg(i, 4, 10, QLatin1Char('0'));
        arrive(name, 700);
        session.take(name, QStringLiteral("192.168.1.31"));
    }
    session.finish();
    EXPECT_EQ(session.receivedCount(), 4);
    EXPECT_GT(session.notBackedUpCount(), 0);
    EXPECT_TRUE(session.backupLine().startsWith(QStringLiteral("Disque de sauvegarde plein : "))) << session.backupLine().toStdString();
    EXPECT_TRUE(temporariesIn(disk.path()).isEmpty());
    // Every copy on the disk is whole.
    for (const QString& name : QDir(disk.path()).entryList(QDir::Files))
        EXPECT_EQ(readFile(QDir(disk.path()).filePath(name)), readFile(QDir(folder).filePath(name)));

    ASSERT_TRUE(disk.resize("size=16m"));
    ASSERT_TRUE(waitFor([&] { return session.notBackedUpCount() == 0; }, 15000)) << session.backupLine().toStdString();
    EXPECT_EQ(session.backupLine(), QStringLiteral("4 photos · 2 copies vérifiées"));
}

TEST_F(ReceptionSessionTest, photosGoToTheClassShotAtTheirCaptureTimeWhateverTheirOrderOfArrival)
{
    const QDateTime start = QDateTime(QDate(2026, 6, 14), QTime(10, 0), Qt::LocalTime);
    const QString classA = dir.filePath(QStringLiteral("Épreuve 1")), classB = dir.filePath(QStringLiteral("Épreuve 2"));
    QDir().mkpath(classA);
    QDir().mkpath(classB);
    makeDatedPhotos(folder, {{QStringLiteral("DSC_0100.JPG"), start.addSecs(-30)},
                             {QStringLiteral("DSC_0101.JPG"), start.addMSecs(59'000)},
                             {QStringLiteral("DSC_0102.JPG"), start.addMSecs(60'250)},
                             {QStringLiteral("DSC_0103.JPG"), start.addSecs(200)}});
    ReceptionSession session(folder, QString());
    session.setClasses({{start.addSecs(60), QStringLiteral("Épreuve 2"), classB}, {start, QStringLiteral("Épreuve 1"), classA}});
    session.start();
    // The second class's photos come first: a camera that uploads late.
    for (const char* name : {"DSC_0103.JPG", "DSC_0102.JPG", "DSC_0101.JPG", "DSC_0100.JPG"})
        session.take(QString::fromLatin1(name), QStringLiteral("192.168.1.31"));
    session.finish();

    EXPECT_EQ(QDir(classA).entryList(QDir::Files), QStringList{QStringLiteral("DSC_0101.JPG")});
    EXPECT_EQ(QDir(classB).entryList(QDir::Files), QStringList({QStringLiteral("DSC_0102.JPG"), QStringLiteral("DSC_0103.JPG")}));
    EXPECT_EQ(session.unclassedCount(), 1);
    // The reception folder keeps every photo.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 4);
    EXPECT_EQ(session.backupLine(), QStringLiteral("4 photos · aucun dossier de sauvegarde"));
    EXPECT_TRUE(session.backupWarning());
}

TEST(ShotClassTest, theClassBeingShotIsKeptWithItsTimesAndReadBackByAnotherProgram)
{
    TempDataDir data;
    const QUuid first = QUuid::createUuid(), second = QUuid::createUuid();
    const QDateTime t0 = QDateTime::currentDateTimeUtc().addSecs(-600);
    {
        WorkspaceStore workspace;
        EXPECT_FALSE(workspace.shotAt(t0));
        workspace.markShot(first, t0);
        workspace.markShot(second, t0.addSecs(120));
        workspace.markShot(first, t0.addSecs(300));
        // Already the current one: no new time.
        workspace.markShot(first, t0.addSecs(400));
        EXPECT_EQ(workspace.settings(first).shotSince.size(), 2);
    }
    WorkspaceStore reread;
    EXPECT_FALSE(reread.shotAt(t0.addSecs(-1)));
    EXPECT_EQ(reread.shotAt(t0), first);
    EXPECT_EQ(reread.shotAt(t0.addSecs(119)), first);
    EXPECT_EQ(reread.shotAt(t0.addSecs(120)), second);
    EXPECT_EQ(reread.shotAt(t0.addSecs(299)), second);
    EXPECT_EQ(reread.shotAt(t0.addSecs(3000)), first);
    EXPECT_EQ(reread.settings(second).shotSince, QList<QDateTime>{t0.addSecs(120)});
}
