// The retouch and the composer on photos real cameras wrote: every readable one comes out upright,
// the damaged one fails with a French sentence.
#include "CameraSamples.h"

#include "base/Error.h"
#include "editing/PhotoComposer.h"
#include "editing/PhotoEdits.h"
#include "editing/PhotoRetoucher.h"
#include "editing/RetouchBridges.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

// Decoding says which photo; a batch edit names it on its line and says only what went wrong.
bool saysUnreadable(const QString& message)
{
    return message == QStringLiteral("Impossible de lire la photo « corrupted.jpg ».") ||
           message == QStringLiteral("Impossible de lire cette photo.");
}

QString sizeText(int width, int height) { return QString::number(width) + u'x' + QString::number(height); }

// Mean difference per channel (0–255) once both are brought to the same small size.
double meanDifference(const vips::VImage& a, const vips::VImage& b)
{
    const auto small = [](const vips::VImage& image) {
        return image.extract_band(0, vips::VImage::option()->set("n", 3))
            .resize(120.0 / image.width(), vips::VImage::option()->set("vscale", 90.0 / image.height()));
    };
    return (small(a) - small(b)).abs().avg();
}

// The eight orientations of one scene, each bears its own number: about 14 apart when right,
// 45 and more when mirrored or turned.
template <typename Render>
QStringList wronglyOriented(Render render)
{
    QStringList wrong;
    const QString folder = test::cameraSamplesDir() + QStringLiteral("/orientation/");
    for (const char* shape : {"landscape", "portrait"}) {
        const vips::VImage reference = render(folder + QLatin1String(shape) + QStringLiteral("_1.jpg"));
        for (int orientation = 2; orientation <= 8; ++orientation) {
            const QString name = QLatin1String(shape) + u'_' + QString::number(orientation) + QStringLiteral(".jpg");
            const vips::VImage image = render(folder + name);
            const bool sameShape = (image.width() > image.height()) == (reference.width() > reference.height());
            if (!sameShape || meanDifference(image, reference) > 25) wrong.push_back(name);
        }
    }
    return wrong;
}

PhotoRetouchSettings everyStepOn()
{
    PhotoRetouchSettings settings;
    settings.optimizedSharpness = true;
    settings.contrast = 15;
    settings.brightness = 10;
    settings.saturation = 10;
    settings.vibrance = 10;
    settings.gamma = 1.1;
    settings.shadows = 20;
    settings.highlights = 10;
    settings.exposure = 0.3;
    settings.autoContrast = true;
    return settings;
}

} // namespace

TEST(CameraRetouch, EveryReadablePhotoRetouchesUprightAndTheDamagedOneFailsInFrench)
{
    if (test::cameraSamplesDir().isEmpty()) GTEST_SKIP() << test::kNoCameraSamples;
    RetouchBridges::ensureVips();
    const PhotoRetouchSettings settings = everyStepOn();
    QStringList wrong;
    for (const QString& photo : test::cameraPhotos()) {
        if (test::isDamagedCameraPhoto(photo)) {
            try {
                RetouchBridges::decodeFile(photo);
                wrong.push_back(photo + QStringLiteral(" (damaged, yet decoded)"));
            } catch (const Error& error) {
                if (!saysUnreadable(error.message())) wrong.push_back(photo + QStringLiteral(" : ") + error.message());
            }
            continue;
        }
        try {
            const FloatImage decoded = RetouchBridges::decodeFile(photo);
            const std::optional<FloatImage> result = PhotoRetoucher::apply(decoded, settings, RetouchQuality::full);
            const QSize upright = test::uprightSize(photo);
            if (!result || QSize(result->width, result->height) != upright) {
                wrong.push_back(photo + QStringLiteral(" (%1 for %2)").arg(result ? sizeText(result->width, result->height) : QString(),
                                                                           sizeText(upright.width(), upright.height())));
                continue;
            }
            // Changed and still a picture: the chain ran on real pixels.
            const vips::VImage before = RetouchBridges::toVips(decoded), after = RetouchBridges::toVips(*result);
            const double change = (after - before).abs().avg();
            if (change < 0.5 || after.deviate() < 5) wrong.push_back(photo + QStringLiteral(" (changed by %1 only)").arg(change));
        } catch (const Error& error) {
            wrong.push_back(photo + QStringLiteral(" : ") + error.message());
        }
    }
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(u'\n').toStdString();

    const QStringList turned = wronglyOriented([&](const QString& photo) {
        return RetouchBridges::toVips(*PhotoRetoucher::apply(RetouchBridges::decodeFile(photo), settings, RetouchQuality::preview));
    });
    EXPECT_TRUE(turned.isEmpty()) << turned.join(u' ').toStdString();
}

TEST(CameraComposer, EveryReadablePhotoComposesUprightOnItsPage)
{
    if (test::cameraSamplesDir().isEmpty()) GTEST_SKIP() << test::kNoCameraSamples;
    PhotoComposer::ensureVips();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    CropEditState look;
    look.format = PrintFormat::a5;
    look.cropValidated = true;
    look.retouch.contrast = 10;
    const QSize landscapePage = PhotoComposer::printSize(PrintFormat::a5, true);
    // Each photo composed from a copy, as the orders workspace composes an ordered photo.
    const auto compose = [&](const QString& photo) {
        const QString copy = folder.filePath(QFileInfo(photo).fileName());
        QFile::remove(copy);
        QFile::copy(photo, copy);
        PhotoEdits::applyLook(copy, look);
        return vips::VImage::new_from_file(QFile::encodeName(copy).constData(),
                                           vips::VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL))
            .copy_memory();
    };
    QStringList wrong;
    for (const QString& photo : test::cameraPhotos()) {
        try {
            const vips::VImage page = compose(photo);
            const QSize upright = test::uprightSize(photo);
            const QSize expected = upright.width() >= upright.height() ? landscapePage : landscapePage.transposed();
            if (test::isDamagedCameraPhoto(photo) || QSize(page.width(), page.height()) != expected)
                wrong.push_back(photo + QStringLiteral(" (%1)").arg(sizeText(page.width(), page.height())));
        } catch (const Error& error) {
            if (!test::isDamagedCameraPhoto(photo) || !saysUnreadable(error.message()))
                wrong.push_back(photo + QStringLiteral(" : ") + error.message());
        }
    }
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(u'\n').toStdString();

    const QStringList turned = wronglyOriented(compose);
    EXPECT_TRUE(turned.isEmpty()) << turned.join(u' ').toStdString();
}
