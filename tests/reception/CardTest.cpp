// Cards: what an import offers and copies, a second import copying nothing, a photo of another
// camera with the same name kept apart, the mount table, and a real exFAT card through FUSE
// that is pulled out in the middle of an import.

#include "ReceptionPhotos.h"
#include "TestSupport.h"
#include "reception/CardImport.h"
#include "reception/CardWatch.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <unistd.h>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

void fillCard(const QString& card)
{
    makeNoisePhoto(card + QStringLiteral("/DCIM/100NIKON/DSC_0001.JPG"), 320, 240);
    writeFile(card + QStringLiteral("/DCIM/100NIKON/DSC_0001.NEF"), QByteArray(40000, 'r'));
    makeNoisePhoto(card + QStringLiteral("/DCIM/101NIKON/DSC_0002.JPG"), 320, 240);
    writeFile(card + QStringLiteral("/DCIM/101NIKON/.hidden.JPG"), "x");
    writeFile(card + QStringLiteral("/DCIM/101NIKON/NOTES.TXT"), "x");
}

bool run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) return false;
    if (output) *output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError()).trimmed();
    return process.exitCode() == 0;
}

} // namespace

TEST(CardImportTest, copiesWhatIsNewOnceAndKeepsAnotherCamerasNamesakeApart)
{
    QTemporaryDir dir;
    const QString card = dir.filePath(QStringLiteral("NIKON D5")), folder = dir.filePath(QStringLiteral("Photos"));
    fillCard(card);
    QDir().mkpath(folder);
    EXPECT_TRUE(CardImport::isCard(card));
    EXPECT_FALSE(CardImport::isCard(folder));

    const CardPlan plan = CardImport::plan(card, folder);
    EXPECT_EQ(plan.offer(), QStringLiteral("Importer la carte « NIKON D5 » (2 photos, 2 nouvelles séries)"));
    const CardImportResult result = CardImport::run(plan, folder);
    EXPECT_TRUE(result.problem.isEmpty());
    EXPECT_EQ(result.copied.size(), 3);
    EXPECT_EQ(readFile(folder + QStringLiteral("/DSC_0001.NEF")), readFile(card + QStringLiteral("/DCIM/100NIKON/DSC_0001.NEF")));

    const CardPlan again = CardImport::plan(card, folder);
    EXPECT_TRUE(again.toCopy.isEmpty());
    EXPECT_EQ(again.alreadyThere, 3);
    EXPECT_EQ(again.offer(), QStringLiteral("Importer la carte « NIKON D5 » (2 photos, rien de nouveau)"));

    // Another camera's DSC_0002 came first: the card's own goes under the card's name.
    QFile::remove(folder + QStringLiteral("/DSC_0002.JPG"));
    makeNoisePhoto(folder + QStringLiteral("/DSC_0002.JPG"), 200, 100);
    const QByteArray theirs = readFile(folder + QStringLiteral("/DSC_0002.JPG"));
    const CardPlan clash = CardImport::plan(card, folder);
    ASSERT_EQ(clash.toCopy.size(), 1);
    EXPECT_EQ(clash.toCopy[0].relativePath, QStringLiteral("NIKON D5/DSC_0002.JPG"));
    CardImport::run(clash, folder);
    EXPECT_EQ(readFile(folder + QStringLiteral("/DSC_0002.JPG")), theirs);
    EXPECT_EQ(readFile(folder + QStringLiteral("/NIKON D5/DSC_0002.JPG")), readFile(card + QStringLiteral("/DCIM/101NIKON/DSC_0002.JPG")));
    // The card is as it was.
    EXPECT_EQ(QDir(card + QStringLiteral("/DCIM/100NIKON")).entryList(QDir::Files).size(), 2);
}

TEST(CardImportTest, readsMountPointsWithTheirEscapes)
{
    const QByteArray table = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                             "98 22 7:0 / /media/tavrin/NIKON\\040D5 rw,nosuid - fuseblk /dev/loop0 rw\n";
    EXPECT_EQ(CardImport::mountPoints(table), QStringList({QStringLiteral("/"), QStringLiteral("/media/tavrin/NIKON D5")}));
}

TEST(CardImportTest, aRealExfatCardIsSeenImportedAndPulledOutMidwayWithoutPartialFile)
{
    if (::geteuid() != 0) GTEST_SKIP() << "attaching a loop device and mounting need root";
    for (const char* tool : {"/usr/sbin/mkfs.exfat", "/usr/sbin/mount.exfat-fuse", "/usr/sbin/losetup"})
        if (!QFileInfo::exists(QString::fromLatin1(tool))) GTEST_SKIP() << tool << " is not installed";
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("card.img")), mountPoint = dir.filePath(QStringLiteral("NIKON D5"));
    const QString folder = dir.filePath(QStringLiteral("Photos"));
    QDir().mkpath(mountPoint);
    QDir().mkpath(folder);
    QString output;
    ASSERT_TRUE(run(QStringLiteral("truncate"), {QStringLiteral("-s"), QStringLiteral("64M"), image}));
    ASSERT_TRUE(run(QStringLiteral("/usr/sbin/mkfs.exfat"), {QStringLiteral("-L"), QStringLiteral("NIKON D5"), image}, &output)) << output.toStdString();
    if (!run(QStringLiteral("/usr/sbin/losetup"), {QStringLiteral("-f"), QStringLiteral("--show"), image}, &output))
        GTEST_SKIP() << "no loop device here: " << output.toStdString();
    const QString device = output;
    struct Detach {
        QString device, mountPoint;
        ~Detach()
        {
            run(QStringLiteral("umount"), {QStringLiteral("-l"), mountPoint});
            run(QStringLiteral("/usr/sbin/losetup"), {QStringLiteral("-d"), device});
        }
    } detach{device, mountPoint};

    CardWatch watch;
    watch.start();
    QSignalSpy inserted(&watch, &CardWatch::cardInserted);
    if (!run(QStringLiteral("/usr/sbin/mount.exfat-fuse"), {device, mountPoint}, &output))
        GTEST_SKIP() << "exfat-fuse cannot mount here: " << output.toStdString();
    for (int i = 1; i <= 6; ++i)
        makeNoisePhoto(mountPoint + QStringLiteral("/DCIM/100NIKON/DSC_%1.JPG").arg(i, 4, 10, QLatin1Char('0')), 800, 600);
    ASSERT_TRUE(waitFor([&] { return !inserted.isEmpty(); }, 10000));
    EXPECT_EQ(inserted.first().first().toString(), QFileInfo(mountPoint).absoluteFilePath());

    const CardPlan plan = CardImport::plan(mountPoint, folder);
    EXPECT_EQ(plan.offer(), QStringLiteral("Importer la carte « NIKON D5 » (6 photos, 1 nouvelle série)"));
    // The card goes away after the second photo.
    const CardImportResult result = CardImport::run(plan, folder, [&](qsizetype done, qsizetype) {
        if (done == 2) run(QStringLiteral("umount"), {QStringLiteral("-l"), mountPoint});
    });
    EXPECT_EQ(result.copied.size(), 2);
    EXPECT_EQ(result.problem, QStringLiteral("La carte a été retirée pendant l’import : 2 photos copiées, 4 restent sur la carte."));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("DSC_0001.JPG"), QStringLiteral("DSC_0002.JPG")}));
    ASSERT_TRUE(waitFor([&] { return !QSignalSpy(&watch, &CardWatch::cardRemoved).isEmpty() || !CardImport::isCard(mountPoint); }, 10000));

    // Mounted again: the second import copies only what is missing, then nothing.
    ASSERT_TRUE(run(QStringLiteral("/usr/sbin/mount.exfat-fuse"), {device, mountPoint}, &output)) << output.toStdString();
    const CardPlan rest = CardImport::plan(mountPoint, folder);
    EXPECT_EQ(rest.toCopy.size(), 4);
    EXPECT_EQ(CardImport::run(rest, folder).copied.size(), 4);
    EXPECT_TRUE(CardImport::plan(mountPoint, folder).toCopy.isEmpty());
    for (int i = 1; i <= 6; ++i) {
        const QString name = QStringLiteral("DSC_%1.JPG").arg(i, 4, 10, QLatin1Char('0'));
        EXPECT_EQ(readFile(folder + QLatin1Char('/') + name), readFile(mountPoint + QStringLiteral("/DCIM/100NIKON/") + name));
    }
}
