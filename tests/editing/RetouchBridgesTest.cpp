#include "RetouchTestImages.h"
#include "base/Error.h"
#include "editing/PhotoRetoucher.h"

#include <QColorSpace>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tavrin;

TEST(RetouchBridges, EightBitImagesInAndOutKeepTheirPixelsAndAlpha)
{
    // A horizontal ramp of red, constant green, alpha falling along the rows.
    const vips::VImage xy = vips::VImage::xyz(256, 4);
    const vips::VImage rgba = xy[0].bandjoin(xy[0] * 0 + 100).bandjoin(xy[0] * 0 + 7).bandjoin(xy[1] * 60 + 20).cast(VIPS_FORMAT_UCHAR);
    const FloatImage image = RetouchBridges::fromVips(rgba.copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB)));
    ASSERT_EQ(image.width, 256);
    EXPECT_FALSE(image.opaque);
    EXPECT_FLOAT_EQ(image.at(51, 2)[0], 51 / 255.0f);
    EXPECT_FLOAT_EQ(image.at(51, 2)[1], 100 / 255.0f);
    EXPECT_FLOAT_EQ(image.at(51, 2)[3], 140 / 255.0f);

    const vips::VImage back = RetouchBridges::toVips(image);
    EXPECT_EQ(back.bands(), 4);
    EXPECT_EQ(back.format(), VIPS_FORMAT_UCHAR);
    EXPECT_EQ((back - rgba).abs().max(), 0);

    // The QImage shares the pixels and reads the same colours.
    const QImage q = RetouchBridges::toQImage(image);
    EXPECT_EQ(q.constBits(), reinterpret_cast<const uchar*>(image.data()));
    EXPECT_EQ(q.pixelColor(51, 2).red(), 51);
    EXPECT_EQ(q.pixelColor(51, 2).alpha(), 140);
    const FloatImage fromQ = RetouchBridges::fromQImage(q);
    EXPECT_FLOAT_EQ(fromQ.at(200, 3)[3], image.at(200, 3)[3]);
}

TEST(RetouchBridges, GreyAndOpaquePhotosThroughAFile)
{
    RetouchBridges::ensureVips();
    const vips::VImage grey = (vips::VImage::xyz(64, 32)[0] * 4).cast(VIPS_FORMAT_UCHAR);
    const FloatImage image = RetouchBridges::fromVips(grey);
    EXPECT_TRUE(image.opaque);
    EXPECT_FLOAT_EQ(image.at(10, 5)[0], 40 / 255.0f);
    EXPECT_FLOAT_EQ(image.at(10, 5)[2], 40 / 255.0f);
    EXPECT_FLOAT_EQ(image.at(10, 5)[3], 1.0f);

    // Written and read back as PNG with an ICC profile: no alpha band appears, the profile stays.
    QTemporaryDir dir;
    FloatImage tagged = image;
    tagged.iccProfile = QColorSpace(QColorSpace::SRgb).iccProfile();
    PhotoRetouchSettings s;
    s.exposure = 1;
    const auto out = PhotoRetoucher::apply(tagged, s, RetouchQuality::full);
    const QString path = dir.filePath("out.png");
    RetouchBridges::writeFile(*out, path);
    const vips::VImage written = vips::VImage::new_from_file(path.toUtf8().constData());
    EXPECT_EQ(written.bands(), 3);
    EXPECT_TRUE(written.get_typeof(VIPS_META_ICC_NAME) != 0);
    const FloatImage reread = RetouchBridges::decodeFile(path);
    EXPECT_EQ(reread.iccProfile, tagged.iccProfile);
    EXPECT_NEAR(reread.at(10, 5)[1], out->at(10, 5)[1], 0.5 / 255);
    EXPECT_GT(reread.at(10, 5)[1], image.at(10, 5)[1] + 0.05);
    EXPECT_THROW(RetouchBridges::decodeFile(dir.filePath("missing.jpg")), tavrin::Error);
}
