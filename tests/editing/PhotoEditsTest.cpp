#include "TestSupport.h"
#include "editing/PhotoEditError.h"
#include "editing/PhotoEditMemory.h"
#include "editing/PhotoEdits.h"
#include "editing/PhotoLookWriter.h"
#include "editing/PhotoOriginals.h"
#include "editing/RetouchBridges.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>
#include <vips/vips8>

using namespace tavrin;
using test::readFile;

namespace {

using vips::VImage;

VImage uniform(int width, int height, std::vector<double> colour)
{
    RetouchBridges::ensureVips();
    return VImage::black(width, height).new_from_image(colour).cast(VIPS_FORMAT_UCHAR);
}

void save(const VImage& image, const QString& path) { image.write_to_file(QFile::encodeName(path).constData()); }

// libvips remembers decoded files by name; the photo is rewritten under the same name.
VImage reread(const QString& path)
{
    vips_cache_set_max(0);
    return VImage::new_from_file(QFile::encodeName(path).constData());
}

std::vector<double> pixel(const QString& path, int x, int y) { return reread(path).getpoint(x, y); }

struct EditedPhoto : ::testing::Test {
    QTemporaryDir dir;
    QString photo = dir.filePath(QStringLiteral("DSC_0420.jpg"));
    QString mark = dir.filePath(QStringLiteral("filigrane.png"));
    QByteArray camera;
    void SetUp() override
    {
        // Mid grey, and an opaque red band four times wider than tall for the watermark.
        save(uniform(120, 80, {100, 100, 100}), photo);
        save(uniform(60, 15, {255, 0, 0, 255}), mark);
        camera = readFile(photo);
    }
    QStringList hiddenFiles() const
    {
        return QDir(PhotoOriginals::originalsFolder(photo)).entryList(QDir::Files | QDir::Hidden);
    }
};

PhotoRetouchSettings brighter(double stops)
{
    PhotoRetouchSettings settings;
    settings.exposure = stops;
    return settings;
}

} // namespace

TEST_F(EditedPhoto, NeutralRetouchLeavesNoTrace)
{
    PhotoEdits::applyRetouch(photo, PhotoRetouchSettings{}, mark);
    EXPECT_EQ(readFile(photo), camera);
    EXPECT_FALSE(QFileInfo::exists(PhotoOriginals::originalsFolder(photo)));
}

TEST_F(EditedPhoto, RetouchRendersFromTheUntouchedCopyAndRestoresToIt)
{
    PhotoEdits::applyRetouch(photo, brighter(1));
    const double once = pixel(photo, 60, 40)[0];
    EXPECT_GT(once, 130);
    PhotoEdits::applyRetouch(photo, brighter(1));
    PhotoEdits::applyRetouch(photo, brighter(0.5));
    // Each render starts from the camera's file, so a milder setting gives a milder result.
    EXPECT_LT(pixel(photo, 60, 40)[0], once);
    EXPECT_GT(pixel(photo, 60, 40)[0], 110);
    EXPECT_EQ(readFile(PhotoOriginals::backupPath(photo)), camera);
    const PhotoEditJournal journal = PhotoEditMemory::readOrDefault(photo);
    EXPECT_EQ(journal.current.retouch, brighter(0.5));
    EXPECT_EQ(journal.history.size(), 2);

    // Back to the look of an unedited photo: the camera's bytes, not a re-encoding.
    PhotoLookWriter::write(photo, CropEditState{});
    EXPECT_EQ(readFile(photo), camera);

    PhotoOriginals::restore(photo);
    EXPECT_EQ(readFile(photo), camera);
    EXPECT_FALSE(QFileInfo::exists(PhotoOriginals::originalsFolder(photo)));
}

TEST_F(EditedPhoto, WatermarkCoversTheBottomOnceInTheHistory)
{
    PhotoEdits::applyWatermark(photo, mark);
    PhotoEdits::applyWatermark(photo, mark);
    const PhotoEditJournal journal = PhotoEditMemory::readOrDefault(photo);
    EXPECT_TRUE(journal.current.includeWatermark);
    ASSERT_EQ(journal.history.size(), 1);
    EXPECT_FALSE(journal.history.first().includeWatermark);
    EXPECT_EQ(hiddenFiles(), (QStringList{"DSC_0420.jpg", "DSC_0420.jpg.edits.json"}));

    // 60 × 15 spread over the 120-pixel width: the bottom 30 rows are red, drawn once.
    const auto check = [&](double greyAbove) {
        const std::vector<double> above = pixel(photo, 60, 45), inside = pixel(photo, 60, 55), corner = pixel(photo, 2, 78);
        EXPECT_NEAR(above[0], greyAbove, 8);
        EXPECT_NEAR(above[1], greyAbove, 8);
        EXPECT_GT(inside[0], 230);
        EXPECT_LT(inside[1], 25);
        EXPECT_GT(corner[0], 230);
    };
    check(100);
    // A later retouch starts again from the untouched copy and keeps the watermark.
    PhotoEdits::applyRetouch(photo, brighter(1), mark);
    check(pixel(photo, 60, 10)[0]);
    EXPECT_GT(pixel(photo, 60, 10)[0], 130);
    EXPECT_EQ(readFile(PhotoOriginals::backupPath(photo)), camera);
}

TEST_F(EditedPhoto, UnreadableFilesAreNamedAndTheJournalUntouched)
{
    test::writeFile(dir.filePath("casse.png"), "pas une image");
    try {
        PhotoEdits::applyWatermark(photo, dir.filePath("casse.png"));
        FAIL() << "no error";
    } catch (const PhotoEditError& error) {
        EXPECT_EQ(error.kind(), PhotoEditError::Kind::unreadableWatermark);
    }
    EXPECT_FALSE(PhotoEditMemory::read(photo));
    EXPECT_EQ(readFile(photo), camera);

    const QString broken = dir.filePath("IMG_9999.JPG");
    test::writeFile(broken, "tronqué");
    try {
        PhotoEdits::applyRetouch(broken, brighter(0.5));
        FAIL() << "no error";
    } catch (const PhotoEditError& error) {
        EXPECT_EQ(error.message(), QStringLiteral("Impossible de lire cette photo."));
    }
    EXPECT_EQ(readFile(broken), QByteArray("tronqué"));
}

TEST_F(EditedPhoto, ValidatedCropBecomesThePrintPage)
{
    PhotoEditJournal journal;
    journal.current.cropValidated = true;
    journal.current.includeWatermark = true;
    PhotoEditMemory::save(journal, photo);
    PhotoEdits::applyRetouch(photo, brighter(0.5), mark);
    const VImage page = reread(photo);
    EXPECT_EQ(page.width(), 2480);
    EXPECT_EQ(page.height(), 1748);
    // The watermark spans the page: 2480 × 620 at the bottom.
    EXPECT_GT(page.getpoint(1240, 1748 - 600)[0], 230);
    EXPECT_LT(page.getpoint(1240, 1748 - 600)[1], 25);
    EXPECT_LT(page.getpoint(1240, 1748 - 640)[1], 200);
    EXPECT_GT(page.getpoint(1240, 1748 - 640)[1], 100);
}
