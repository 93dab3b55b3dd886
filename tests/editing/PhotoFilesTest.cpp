#include "SmallDisk.h"
#include "TestSupport.h"
#include "base/TavrinJSON.h"
#include "editing/PhotoEditMemory.h"
#include "editing/PhotoOriginals.h"
#include "editing/RetouchBridges.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>
#include <vips/vips8>

using namespace tavrin;
using test::readFile;

namespace {

// A small gradient JPEG as a camera would leave it, encoded by libvips.
QByteArray cameraJpeg(int seed)
{
    RetouchBridges::ensureVips();
    const vips::VImage image = (vips::VImage::xyz(64, 48)[0] * 3 + seed).bandjoin({vips::VImage::xyz(64, 48)[1] * 5, vips::VImage::black(64, 48) + seed}).cast(VIPS_FORMAT_UCHAR);
    void* data = nullptr;
    size_t size = 0;
    image.write_to_buffer(".jpg", &data, &size);
    const QByteArray bytes(static_cast<const char*>(data), qsizetype(size));
    g_free(data);
    return bytes;
}

struct PhotoFolder : ::testing::Test {
    QTemporaryDir dir;
    QString photo = dir.filePath(QStringLiteral("IMG_0001.JPG"));
    QByteArray camera = cameraJpeg(7);
    void SetUp() override { test::writeFile(photo, camera); }
};

} // namespace

TEST_F(PhotoFolder, UntouchedCopyIsMadeOnceAndRestoredByteForByte)
{
    EXPECT_EQ(PhotoOriginals::backupPath(photo), dir.filePath(QStringLiteral(".tavrin-originals/IMG_0001.JPG")));
    EXPECT_EQ(PhotoEditMemory::journalPath(photo), dir.filePath(QStringLiteral(".tavrin-originals/IMG_0001.JPG.edits.json")));

    // Restoring a photo never edited changes nothing.
    PhotoOriginals::restore(photo);
    EXPECT_EQ(readFile(photo), camera);
    EXPECT_FALSE(QFileInfo::exists(PhotoOriginals::originalsFolder(photo)));

    PhotoOriginals::ensureBackup(photo);
    EXPECT_TRUE(PhotoOriginals::hasBackup(photo));
    test::writeFile(photo, cameraJpeg(90));
    PhotoEditMemory::save(PhotoEditJournal{}, photo);
    // Edited a second time: the copy still holds the camera's file.
    PhotoOriginals::ensureBackup(photo);
    EXPECT_EQ(readFile(PhotoOriginals::backupPath(photo)), camera);
    EXPECT_EQ(QDir(PhotoOriginals::originalsFolder(photo)).entryList(QDir::Files | QDir::Hidden).size(), 2);

    PhotoOriginals::restore(photo);
    EXPECT_EQ(readFile(photo), camera);
    EXPECT_FALSE(PhotoOriginals::hasBackup(photo));
    EXPECT_FALSE(QFileInfo::exists(PhotoEditMemory::journalPath(photo)));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"IMG_0001.JPG"});
}

TEST_F(PhotoFolder, MissingPhotoLeavesNothingBehind)
{
    const QString gone = dir.filePath(QStringLiteral("absente.jpg"));
    try {
        PhotoOriginals::ensureBackup(gone);
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.message(), QStringLiteral("La photo « absente.jpg » est introuvable."));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"IMG_0001.JPG"});
}

TEST(PhotoOriginalsTest, AFullDiskLeavesNeitherAPartialCopyNorAChangedPhoto)
{
    test::SmallDisk disk("size=256k");
    if (!disk.mounted) GTEST_SKIP() << disk.reason.toStdString();
    // Room for the photo but not for its untouched copy.
    const QString photo = disk.path() + QStringLiteral("/IMG_0002.JPG");
    const QByteArray camera = cameraJpeg(3) + QByteArray(150 * 1024, '\0');
    test::writeFile(photo, camera);
    try {
        PhotoOriginals::ensureBackup(photo);
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.message(), QStringLiteral("Le disque est plein : impossible de copier la photo « IMG_0002.JPG »."));
    }
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"IMG_0002.JPG"});

    // Restoring over the photo from a copy that does not fit keeps the photo whole.
    const QString other = disk.path() + QStringLiteral("/autre.jpg");
    test::writeFile(other, QByteArray(90 * 1024, 'y'));
    EXPECT_THROW(PhotoOriginals::replaceWithCopy(other, photo), Error);
    EXPECT_EQ(readFile(photo), camera);
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList({"autre.jpg", "IMG_0002.JPG"}));
}

TEST_F(PhotoFolder, DamagedOrIncompleteJournalMeansTheDefaultLook)
{
    EXPECT_FALSE(PhotoEditMemory::read(photo));
    PhotoEditJournal journal;
    journal.current.zoom = 2;
    journal.history = {CropEditState{}};
    PhotoEditMemory::save(journal, photo);
    EXPECT_EQ(PhotoEditMemory::read(photo), journal);

    QJsonObject json = TavrinJSON::decodeObject(readFile(PhotoEditMemory::journalPath(photo)));
    QJsonObject current = json["current"].toObject();
    current.remove("offset");
    json["current"] = current;
    test::writeFile(PhotoEditMemory::journalPath(photo), TavrinJSON::encode(json));
    EXPECT_FALSE(PhotoEditMemory::read(photo));
    EXPECT_EQ(PhotoEditMemory::readOrDefault(photo), PhotoEditJournal{});

    test::writeFile(PhotoEditMemory::journalPath(photo), "{\"current\": ");
    EXPECT_FALSE(PhotoEditMemory::read(photo));
    PhotoEditMemory::remove(photo);
    EXPECT_FALSE(QFileInfo::exists(PhotoEditMemory::journalPath(photo)));
}

TEST_F(PhotoFolder, RetouchChangesKeepTheNewestEightyLooks)
{
    // Unchanged settings add nothing but still leave a journal.
    PhotoEditMemory::recordRetouch(PhotoRetouchSettings{}, photo);
    ASSERT_TRUE(PhotoEditMemory::read(photo));
    EXPECT_TRUE(PhotoEditMemory::read(photo)->history.isEmpty());

    PhotoRetouchSettings settings;
    for (int i = 1; i <= 81; ++i) {
        settings.brightness = i;
        PhotoEditMemory::recordRetouch(settings, photo);
    }
    PhotoEditMemory::recordRetouch(settings, photo);
    const PhotoEditJournal journal = PhotoEditMemory::readOrDefault(photo);
    ASSERT_EQ(journal.history.size(), 80);
    EXPECT_EQ(journal.history.first().retouch.brightness, 1);
    EXPECT_EQ(journal.history.last().retouch.brightness, 80);
    EXPECT_EQ(journal.current.retouch.brightness, 81);
}
