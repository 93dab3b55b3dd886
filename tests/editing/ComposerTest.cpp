#include "base/Error.h"
#include "editing/PhotoComposer.h"
#include "SmallDisk.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tavrin;
using vips::VImage;
namespace PC = tavrin::PhotoComposer;

namespace {

const QSizeF photo6000(6000, 4000);

// A photo made by libvips: left half red, right half blue, a green band over the top quarter.
VImage quadrants(int width, int height)
{
    PC::ensureVips();
    const VImage xy = VImage::xyz(width, height);
    const VImage left = xy[0] < width / 2;
    const VImage top = xy[1] < height / 4;
    const VImage r = left.ifthenelse(255, 0);
    const VImage g = top.ifthenelse(255, 0);
    const VImage b = left.ifthenelse(0, 255);
    return r.bandjoin(g).bandjoin(b).cast(VIPS_FORMAT_UCHAR).copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

std::vector<double> pixel(const VImage& image, int x, int y) { return const_cast<VImage&>(image).getpoint(x, y); }

void expectColour(const VImage& image, int x, int y, std::vector<double> rgb, double tolerance = 3)
{
    const auto p = pixel(image, x, y);
    for (size_t i = 0; i < rgb.size(); ++i) EXPECT_NEAR(p[i], rgb[i], tolerance) << "at " << x << "," << y << " band " << i;
}

QByteArray bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(ComposerGeometry, BaseCropZoomAndTheCropOfALook)
{
    const double a4 = 297.0 / 210.0;
    const QRectF base = PC::baseCrop(photo6000, a4);
    EXPECT_NEAR(base.width(), 5657.14, 0.01);
    EXPECT_DOUBLE_EQ(base.height(), 4000);
    EXPECT_NEAR(base.x(), 171.43, 0.01);
    EXPECT_DOUBLE_EQ(base.y(), 0);
    // A photo narrower than the format: width-limited.
    const QRectF square = PC::baseCrop(QSizeF(3000, 3000), a4);
    EXPECT_DOUBLE_EQ(square.width(), 3000);
    EXPECT_NEAR(square.height(), 2121.21, 0.01);
    EXPECT_NEAR(square.y(), 439.39, 0.01);

    EXPECT_DOUBLE_EQ(PC::zoom(base, photo6000, a4), 1);
    EXPECT_NEAR(PC::zoom(QRectF(0, 0, base.width() / 2, 10), photo6000, a4), 2, 1e-12);
    EXPECT_DOUBLE_EQ(PC::zoom(QRectF(0, 0, base.width() * 10, 10), photo6000, a4), 0.2);

    CropEditState look;
    look.format = PrintFormat::a4;
    EXPECT_EQ(PC::cropRect(look, photo6000), base);
    look.zoom = 2;
    look.offset = QSizeF(100, -50);
    const QRectF zoomed = PC::cropRect(look, photo6000);
    EXPECT_DOUBLE_EQ(zoomed.height(), 2000);
    EXPECT_NEAR(zoomed.x(), (6000 - 2828.57) / 2 + 100, 0.01);
    EXPECT_DOUBLE_EQ(zoomed.y(), 1000 - 50);
    // A portrait photo takes the portrait aspect of the format.
    look = CropEditState();
    const QRectF portrait = PC::cropRect(look, QSizeF(4000, 6000));
    EXPECT_NEAR(portrait.width() / portrait.height(), 148.0 / 210.0, 1e-12);
    EXPECT_DOUBLE_EQ(portrait.width(), 4000);

    EXPECT_EQ(PC::printSize(PrintFormat::a4, true), QSize(3508, 2480));
    EXPECT_EQ(PC::printSize(PrintFormat::a5, false), QSize(1748, 2480));
}

TEST(ComposerGeometry, KeepOverlapLeavesEighteenPercentOnThePhoto)
{
    // 18 % of the smallest of 1000, 500, 6000, 4000 is 90.
    EXPECT_EQ(PC::keepOverlap(QRectF(-5000, -3000, 1000, 500), photo6000), QRectF(90 - 1000, 90 - 500, 1000, 500));
    EXPECT_EQ(PC::keepOverlap(QRectF(9000, 7000, 1000, 500), photo6000), QRectF(6000 - 90, 4000 - 90, 1000, 500));
    const QRectF inside(100, 100, 1000, 500);
    EXPECT_EQ(PC::keepOverlap(inside, photo6000), inside);
}

TEST(ComposerGeometry, ResizedCropStopsAtItsMinimumAndMaximumForEveryHandle)
{
    const double land = 297.0 / 210.0;
    const double port = 210.0 / 297.0;
    const QRectF base = PC::baseCrop(photo6000, land);
    // Minimum width 8 % of 4000 = 320 (landscape), 320 × aspect (portrait).
    struct Case {
        CropEdge edge;
        QSizeF shrink;
        QSizeF grow;
    };
    const QList<Case> cases{{CropEdge::left, {1e5, 0}, {-1e5, 0}},        {CropEdge::right, {-1e5, 0}, {1e5, 0}},
                            {CropEdge::top, {0, 1e5}, {0, -1e5}},         {CropEdge::bottom, {0, -1e5}, {0, 1e5}},
                            {CropEdge::topLeft, {1e5, 10}, {-10, -1e5}},   {CropEdge::topRight, {-1e5, 0}, {0, -1e5}},
                            {CropEdge::bottomLeft, {10, -1e5}, {-1e5, 0}}, {CropEdge::bottomRight, {0, -1e5}, {1e5, 10}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.edge));
        const QRectF small = PC::resizedCrop(base, c.edge, c.shrink, photo6000, land);
        EXPECT_NEAR(small.width(), 320, 1e-9);
        EXPECT_NEAR(small.height(), 320 / land, 1e-9);
        // Width 4 × 6000 gives a height of 16970, more than 4 × 4000: the height bounds it.
        const QRectF big = PC::resizedCrop(base, c.edge, c.grow, photo6000, land);
        EXPECT_NEAR(big.height(), 16000, 1e-9);
        EXPECT_NEAR(big.width(), 16000 * land, 1e-9);
        const QRectF portrait = PC::resizedCrop(QRectF(0, 0, 2000, 2000 / port), c.edge, c.shrink, photo6000, port);
        EXPECT_NEAR(portrait.width(), 320 * port, 1e-9);
    }
    // The fixed side or corner stays where it was.
    const QRectF left = PC::resizedCrop(base, CropEdge::left, QSizeF(1000, 0), photo6000, land);
    EXPECT_NEAR(left.right(), base.right(), 1e-9);
    EXPECT_NEAR(left.center().y(), base.center().y(), 1e-9);
    const QRectF corner = PC::resizedCrop(base, CropEdge::topLeft, QSizeF(0, 1000), photo6000, land);
    EXPECT_NEAR(corner.height(), 3000, 1e-9);
    EXPECT_EQ(corner.bottomRight(), base.bottomRight());
    // Tiny photos keep a 32-pixel minimum.
    EXPECT_NEAR(PC::resizedCrop(QRectF(0, 0, 100, 50), CropEdge::right, QSizeF(-1000, 0), QSizeF(200, 100), 2).width(), 32, 1e-9);
}

TEST(ComposerRender, DefaultA4LookIsTheCentredCropAtPrintResolution)
{
    const VImage photo = quadrants(6000, 4000);
    CropEditState look;
    look.format = PrintFormat::a4;
    look.cropValidated = true;
    const VImage page = PC::renderValidatedLook(photo, look);
    ASSERT_EQ(page.width(), 3508);
    ASSERT_EQ(page.height(), 2480);
    EXPECT_EQ(page.bands(), 3);
    // The crop starts 171.4 pixels in: the red/blue edge at x 3000 lands on the page centre, the
    // green band (y < 1000) on the page's top quarter (y < 620), no white anywhere.
    expectColour(page, 1752, 1500, {255, 0, 0}, 6);
    expectColour(page, 1756, 1500, {0, 0, 255}, 6);
    expectColour(page, 1, 1, {255, 255, 0});
    expectColour(page, 3506, 2478, {0, 0, 255});
    expectColour(page, 100, 616, {255, 255, 0});
    expectColour(page, 100, 624, {255, 0, 0});
}

TEST(ComposerRender, ZoomOutLeavesWhiteMarginsAndTheAngleTurnsClockwise)
{
    const VImage photo = quadrants(6000, 4000);
    CropEditState look;
    look.format = PrintFormat::a4;
    look.cropValidated = true;
    look.zoom = 0.5;
    // The crop is 11314 × 8000 around the photo: the photo covers x 827 … 2681, y 620 … 1860.
    const VImage page = PC::renderValidatedLook(photo, look);
    ASSERT_EQ(page.width(), 3508);
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{400, 1240}, {1754, 300}, {3300, 2300}, {1754, 1900}})
        expectColour(page, x, y, {255, 255, 255});
    expectColour(page, 1000, 1240, {255, 0, 0});
    expectColour(page, 2500, 1240, {0, 0, 255});
    expectColour(page, 1000, 700, {255, 255, 0});

    // A quarter turn clockwise: the photo's left (red) goes to the top, its top (green) to the right.
    look.zoom = 1;
    look.angle = 90;
    const VImage turned = PC::renderValidatedLook(photo, look);
    expectColour(turned, 1754, 200, {255, 0, 0});
    expectColour(turned, 1754, 2300, {0, 0, 255});
    expectColour(turned, 2900, 600, {255, 255, 0});
    expectColour(turned, 300, 1240, {255, 255, 255});
    expectColour(turned, 3300, 1240, {255, 255, 255});
}

TEST(ComposerRender, WatermarkCoversTheBottomAtFullWidth)
{
    // 2000 × 500, magenta, transparent on its right half.
    const VImage xy = VImage::xyz(2000, 500);
    const VImage mark = VImage::black(2000, 500)
                            .new_from_image({255, 0, 255})
                            .bandjoin((xy[0] < 1000).ifthenelse(255, 0))
                            .cast(VIPS_FORMAT_UCHAR)
                            .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    CropEditState look;
    look.format = PrintFormat::a4;
    look.cropValidated = true;
    const VImage page = PC::renderValidatedLook(quadrants(6000, 4000), look, mark);
    ASSERT_EQ(page.width(), 3508);
    ASSERT_EQ(page.height(), 2480);
    // Drawn 3508 × 877: rows 1603 … 2479, the opaque half over x < 1754.
    expectColour(page, 100, 1601, {255, 0, 0});
    expectColour(page, 100, 1604, {255, 0, 255});
    expectColour(page, 1700, 2479, {255, 0, 255});
    expectColour(page, 100, 2479, {255, 0, 255});
    expectColour(page, 1800, 2000, {0, 0, 255});
    expectColour(page, 3400, 2479, {0, 0, 255});

    // A square watermark is cut at the top of the page.
    const VImage square = VImage::black(500, 500).new_from_image({0, 255, 0}).cast(VIPS_FORMAT_UCHAR).copy(
        VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    const VImage covered = PC::drawBottomCoverWatermark(square, page);
    EXPECT_EQ(covered.width(), 3508);
    expectColour(covered, 10, 10, {0, 255, 0});
    expectColour(covered, 3500, 2470, {0, 255, 0});

    const auto resampled = PC::resampled(mark, QSizeF(3508, 877.2));
    ASSERT_TRUE(resampled);
    EXPECT_EQ(resampled->width(), 3508);
    EXPECT_EQ(resampled->height(), 877);
    expectColour(*resampled, 10, 10, {255, 0, 255, 255});
    EXPECT_EQ(pixel(*resampled, 3400, 10)[3], 0);
}

// The watermark as libvips alone lays it: Lanczos on the premultiplied mark, blended in floats.
VImage watermarkByLibvips(const VImage& watermark, const VImage& canvas)
{
    const double scale = double(canvas.width()) / watermark.width();
    VImage mark = *PC::resampled(watermark, QSizeF(scale * watermark.width(), scale * watermark.height()));
    const int x = int(std::lround((canvas.width() - mark.width()) / 2.0));
    const int top = canvas.height() - mark.height();
    const int left = std::max(x, 0), right = std::min(x + mark.width(), canvas.width()), visibleTop = std::max(top, 0);
    mark = mark.extract_area(left - x, visibleTop - top, right - left, canvas.height() - visibleTop);
    const VImage under = canvas.extract_area(left, visibleTop, right - left, canvas.height() - visibleTop);
    const int colourBands = canvas.has_alpha() ? canvas.bands() - 1 : canvas.bands();
    const VImage a = mark[3] / 255.0;
    VImage blended = (mark.extract_band(0, VImage::option()->set("n", 3)) * a +
                      under.extract_band(0, VImage::option()->set("n", colourBands)) * (1.0 - a) + 0.5)
                         .cast(VIPS_FORMAT_UCHAR);
    if (canvas.has_alpha()) blended = blended.bandjoin((mark[3] + under[colourBands] * (1.0 - a) + 0.5).cast(VIPS_FORMAT_UCHAR));
    return canvas.insert(blended, left, visibleTop);
}

TEST(ComposerRender, WatermarkEnlargedByOurPassesMatchesLibvipsWithin2)
{
    PC::ensureVips();
    // Hard edges and soft ones: a white bar at 80 % over a coloured ramp, a disc fading out,
    // fully transparent elsewhere (whose colour must not bleed in).
    const VImage xy = VImage::xyz(700, 180);
    const VImage bar = (xy[0] > 40) & (xy[0] < 660) & (xy[1] > 50) & (xy[1] < 130);
    const VImage distance = ((xy[0] - 120).pow(2) + (xy[1] - 90).pow(2)).pow(0.5);
    const VImage disc = (255 - (distance - 40) * 12).cast(VIPS_FORMAT_UCHAR);
    const VImage alpha = bar.ifthenelse(204, disc);
    const VImage colour = bar.ifthenelse(std::vector<double>{255, 255, 255}, (xy[0] * 0.36).bandjoin(xy[1]).bandjoin(255 - xy[1]));
    const VImage mark = colour.bandjoin(alpha).cast(VIPS_FORMAT_UCHAR).copy(
        VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    const VImage noise = VImage::gaussnoise(1754, 1240, VImage::option()->set("sigma", 40)->set("mean", 128));
    const VImage photo = noise.bandjoin(noise.rot180()).bandjoin(noise.fliphor()).cast(VIPS_FORMAT_UCHAR).copy(
        VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB)).copy_memory();
    const VImage withAlpha = photo.bandjoin((VImage::xyz(1754, 1240)[0] / 7).cast(VIPS_FORMAT_UCHAR)).copy_memory();
    // A page, one with alpha, and a square mark taller than the page (cut at the top).
    const VImage square = mark.extract_area(0, 0, 180, 180);
    for (const auto& [canvas, watermark] : {std::pair{photo, mark}, std::pair{withAlpha, mark}, std::pair{photo.extract_area(0, 0, 900, 400), square}}) {
        SCOPED_TRACE(canvas.bands());
        const VImage ours = PC::drawBottomCoverWatermark(watermark, canvas);
        const VImage reference = watermarkByLibvips(watermark, canvas);
        ASSERT_EQ(ours.bands(), reference.bands());
        EXPECT_LE((ours.cast(VIPS_FORMAT_INT) - reference).abs().max(), 2);
        // Where it should be: the bar's white at 80 % over the photo, on the mark's row 120.
        const double scale = double(canvas.width()) / watermark.width();
        expectColour(ours, canvas.width() / 2, int(canvas.height() - (watermark.height() - 120) * scale), {0.8 * 255 + 0.2 * 128}, 30);
    }
}

TEST(ComposerFiles, OrientedSourcesAreUprightAndWrittenWithOrientationOne)
{
    QTemporaryDir dir;
    // Stored 600 × 400 with the top band green and the left half red.
    for (const int orientation : {6, 8}) {
        SCOPED_TRACE(orientation);
        const QString path = dir.filePath(QStringLiteral("o%1.jpg").arg(orientation));
        VImage tagged = quadrants(600, 400).copy();
        tagged.set(VIPS_META_ORIENTATION, orientation);
        tagged.jpegsave(path.toUtf8().constData(), VImage::option()->set("Q", 95));

        const auto image = PC::loadImage(path);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width(), 400);
        EXPECT_EQ(image->height(), 600);
        // 6 turns the stored picture clockwise (left to top, top to right), 8 the other way.
        const bool cw = orientation == 6;
        expectColour(*image, 200, cw ? 100 : 500, {255, 0, 0}, 8);
        expectColour(*image, 200, cw ? 500 : 100, {0, 0, 255}, 8);
        expectColour(*image, cw ? 380 : 20, cw ? 100 : 500, {255, 255, 0}, 8);

        CropEditState look;
        look.format = PrintFormat::a4;
        look.cropValidated = true;
        PC::write(PC::renderLook(*image, look), path);
        const VImage written = VImage::new_from_file(path.toUtf8().constData());
        EXPECT_EQ(written.width(), 2480);
        EXPECT_EQ(written.height(), 3508);
        EXPECT_FALSE(written.get_typeof(VIPS_META_ORIENTATION) && written.get_int(VIPS_META_ORIENTATION) != 1);
        const VImage reread = *PC::loadImage(path);
        EXPECT_EQ(reread.width(), 2480);
        expectColour(reread, 1240, cw ? 300 : 3200, {255, 0, 0}, 8);
    }
    const auto thumb = PC::loadImage(dir.filePath("o6.jpg"), 100);
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->height(), 100);
    EXPECT_FALSE(PC::loadImage(dir.filePath("missing.jpg")));
}

TEST(ComposerFiles, TypeFollowsTheExtensionAndOnlyTheProfileTravels)
{
    QTemporaryDir dir;
    const QByteArray icc = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    ASSERT_FALSE(icc.isEmpty());
    VImage image = quadrants(300, 200).copy();
    vips_image_set_blob_copy(image.get_image(), VIPS_META_ICC_NAME, icc.constData(), size_t(icc.size()));
    image.set(VIPS_META_XMP_NAME, "not kept");
    image.set(VIPS_META_ORIENTATION, 3);

    EXPECT_EQ(PC::outputType("/x/photo.PNG"), "png");
    EXPECT_EQ(PC::outputType("/x/photo.Tif"), "tiff");
    EXPECT_EQ(PC::outputType("/x/photo.jpeg"), "jpg");
    EXPECT_EQ(PC::outputType("/x/photo"), "jpg");

    const QString png = dir.filePath("photo.PNG");
    const QString jpeg = dir.filePath("photo.jpeg");
    const QString tiff = dir.filePath("photo.tif");
    for (const QString& path : {png, jpeg, tiff}) {
        QFile(path).open(QIODevice::WriteOnly);
        PC::write(image, path);
    }
    EXPECT_TRUE(bytes(png).startsWith("\x89PNG"));
    EXPECT_TRUE(bytes(jpeg).startsWith("\xFF\xD8\xFF"));
    EXPECT_TRUE(bytes(tiff).startsWith("II*") || bytes(tiff).startsWith("MM"));
    for (const QString& path : {png, jpeg, tiff}) {
        SCOPED_TRACE(path.toStdString());
        VImage back = VImage::new_from_file(path.toUtf8().constData());
        size_t length = 0;
        ASSERT_TRUE(back.get_typeof(VIPS_META_ICC_NAME));
        const void* data = back.get_blob(VIPS_META_ICC_NAME, &length);
        EXPECT_EQ(QByteArray(static_cast<const char*>(data), qsizetype(length)), icc);
        EXPECT_FALSE(back.get_typeof(VIPS_META_XMP_NAME));
        EXPECT_FALSE(back.get_typeof(VIPS_META_ORIENTATION) && back.get_int(VIPS_META_ORIENTATION) != 1);
        expectColour(back, 10, 100, {255, 0, 0}, 2);
    }
    // Nothing hidden is left beside the photos.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

TEST(ComposerFiles, AFailedWriteLeavesTheVisibleFileAndNoTemporary)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("photo.jpg");
    quadrants(400, 300).jpegsave(path.toUtf8().constData());
    const QByteArray before = bytes(path);
    const auto hidden = [&] { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot); };

    // Wider than JPEG allows: the encoder gives up after the temporary file was opened.
    const VImage failing = VImage::black(70000, 8).cast(VIPS_FORMAT_UCHAR);
    EXPECT_THROW(PC::write(failing, path), tavrin::Error);
    EXPECT_EQ(bytes(path), before);
    EXPECT_EQ(hidden(), QStringList({"photo.jpg"}));
}

// A read-only disk and a full one, for real: the write fails after or before the temporary file
// was opened, and neither leaves anything behind.
TEST(ComposerFiles, AReadOnlyOrFullDiskLeavesTheVisibleFileAndNoTemporary)
{
    for (const bool full : {false, true}) {
        SCOPED_TRACE(full ? "full" : "read-only");
        tavrin::test::SmallDisk disk("size=256k");
        if (!disk.mounted) {
            GTEST_SKIP() << disk.reason.toStdString();
        }
        const QString path = disk.path() + QStringLiteral("/photo.jpg");
        quadrants(400, 300).jpegsave(path.toUtf8().constData());
        const QByteArray before = bytes(path);
        const auto hidden = [&] { return QDir(disk.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot); };
        // Noise does not compress: about 1 MB of JPEG for a 256 KB disk.
        const VImage noisy = VImage::gaussnoise(1200, 900, VImage::option()->set("sigma", 60.0)).cast(VIPS_FORMAT_UCHAR);
        if (!full) {
            ASSERT_TRUE(disk.makeReadOnly());
        }
        EXPECT_THROW(PC::write(full ? noisy : quadrants(400, 300), path), tavrin::Error);
        EXPECT_EQ(bytes(path), before);
        EXPECT_EQ(hidden(), QStringList({"photo.jpg"}));
    }
}
