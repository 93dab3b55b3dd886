#include "editing/CropEditorModel.h"
#include "editing/PhotoComposer.h"
#include "editing/PhotoOriginals.h"
#include "editing/views/CropCanvas.h"
#include "editing/views/PhotoCropEditorView.h"
#include "editing/views/RetouchPanel.h"
#include "ui/CapsuleButton.h"
#include "ui/FusedGroup.h"
#include "TestSupport.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

using namespace tavrin;
using vips::VImage;

namespace {

// A 3000 × 2000 photo encoded by libvips, larger than the editor's working copy: left half red,
// right half blue.
QString makePhoto(const QString& path)
{
    PhotoComposer::ensureVips();
    const VImage left = VImage::xyz(3000, 2000)[0] < 1500;
    const VImage rgb = left.ifthenelse(255, 0).bandjoin(VImage::black(3000, 2000)).bandjoin(left.ifthenelse(0, 255));
    rgb.cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .write_to_file(path.toUtf8().constData(), VImage::option()->set("Q", 95));
    return path;
}

// Decoded afresh every time: libvips' own cache would hand back a file's earlier pixels.
VImage decoded(const QString& path)
{
    const auto image = PhotoComposer::loadImage(path);
    EXPECT_TRUE(image) << qPrintable(path);
    return image ? *image : VImage::black(1, 1);
}

std::vector<double> pixelAt(const QString& path, double fx, double fy)
{
    VImage image = decoded(path);
    return image.getpoint(int(fx * (image.width() - 1)), int(fy * (image.height() - 1)));
}

QPoint at(QPointF p) { return p.toPoint(); }

QPointF rotatedAbout(QPointF centre, QPointF point, double degrees)
{
    const double r = degrees * M_PI / 180, dx = point.x() - centre.x(), dy = point.y() - centre.y();
    return centre + QPointF(dx * std::cos(r) - dy * std::sin(r), dx * std::sin(r) + dy * std::cos(r));
}

class CropEditorView : public ::testing::Test {
protected:
    void SetUp() override
    {
        photo = makePhoto(data.file(QStringLiteral("DSC_0042.jpg")));
        view.resize(520, 820);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        view.open(photo);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model().isLoading() && !model().preview().isNull(); }, 20000));
        ASSERT_TRUE(view.validateButton()->isEnabled());
    }

    CropEditorModel& model() { return view.model(); }
    CropCanvas* canvas() { return view.canvas(); }
    QRectF frame() { return canvas()->currentLayout().crop; }
    bool idle() { return model().jobsInFlight() == 0 && !model().hasPendingPersist(); }

    Qt::CursorShape cursorAt(QPointF p)
    {
        QTest::mouseMove(canvas(), at(p));
        return canvas()->cursor().shape();
    }

    // Presses at `from`, moves there in a few steps and releases.
    void drag(QPointF from, QPointF to)
    {
        QTest::mousePress(canvas(), Qt::LeftButton, Qt::NoModifier, at(from));
        for (int i = 1; i <= 4; ++i) QTest::mouseMove(canvas(), at(from + (to - from) * i / 4.0));
        QTest::mouseRelease(canvas(), Qt::LeftButton, Qt::NoModifier, at(to));
    }

    test::TempDataDir data;
    QString photo;
    PhotoCropEditorView view;
};

} // namespace

TEST_F(CropEditorView, PointerShapeFollowsTheHandleUnderIt)
{
    const QRectF c = frame();
    ASSERT_GT(c.width(), 200);
    EXPECT_EQ(cursorAt(c.topLeft() + QPointF(-7, -7)), Qt::SizeFDiagCursor); // 10 points outside the corner
    EXPECT_EQ(cursorAt(c.bottomLeft() + QPointF(-3, 3)), Qt::SizeBDiagCursor);
    EXPECT_EQ(cursorAt(QPointF(c.center().x(), c.top() + 5)), Qt::SizeVerCursor);
    EXPECT_EQ(cursorAt(QPointF(c.left() + 5, c.center().y())), Qt::SizeHorCursor);
    EXPECT_EQ(cursorAt(c.topLeft() + QPointF(26, 30)), Qt::CrossCursor);
    EXPECT_EQ(cursorAt(c.center()), Qt::OpenHandCursor);
    EXPECT_EQ(cursorAt(QPointF(c.center().x(), c.top() - 14)), Qt::ArrowCursor); // 14 outside an edge
}

TEST_F(CropEditorView, DragsMoveResizeAndRotateTheFrameOneUndoStepEach)
{
    const double scale = canvas()->currentLayout().scale;
    const QRectF before = model().cropRect();

    // Moving: the handle is held while the pointer moves, the frame follows by view points / scale.
    const QPointF grab = frame().center() + QPointF(30, 0);
    QTest::mousePress(canvas(), Qt::LeftButton, Qt::NoModifier, at(grab));
    QTest::mouseMove(canvas(), at(grab + QPointF(-20, -10)));
    ASSERT_TRUE(model().activeHandle());
    EXPECT_EQ(*model().activeHandle(), CropHandle::move());
    QTest::mouseMove(canvas(), at(grab + QPointF(-40, -20)));
    QTest::mouseRelease(canvas(), Qt::LeftButton, Qt::NoModifier, at(grab + QPointF(-40, -20)));
    EXPECT_FALSE(model().activeHandle());
    const QRectF moved = model().cropRect();
    EXPECT_NEAR(moved.x() - before.x(), -40 / scale, 1);
    EXPECT_NEAR(moved.y() - before.y(), -20 / scale, 1);
    EXPECT_NEAR(moved.width(), before.width(), 0.01);
    EXPECT_EQ(model().history().size(), 1);

    // Resizing from the bottom-right corner: smaller, same aspect, the opposite corner stays.
    const QRectF c = frame();
    QTest::mousePress(canvas(), Qt::LeftButton, Qt::NoModifier, at(c.bottomRight() - QPointF(2, 2)));
    QTest::mouseMove(canvas(), at(c.bottomRight() - QPointF(30, 30)));
    ASSERT_TRUE(model().activeHandle());
    EXPECT_EQ(*model().activeHandle(), CropHandle::ofEdge(CropEdge::bottomRight));
    QTest::mouseMove(canvas(), at(c.bottomRight() - QPointF(60, 60)));
    QTest::mouseRelease(canvas(), Qt::LeftButton, Qt::NoModifier, at(c.bottomRight() - QPointF(60, 60)));
    const QRectF resized = model().cropRect();
    EXPECT_LT(resized.width(), moved.width() - 40);
    EXPECT_NEAR(resized.width() / resized.height(), moved.width() / moved.height(), 0.01);
    EXPECT_NEAR(resized.left(), moved.left(), 1.5);
    EXPECT_NEAR(resized.top(), moved.top(), 1.5);
    EXPECT_GT(model().zoom(), 1);
    EXPECT_EQ(model().history().size(), 2);

    // Turning from a rotation zone by 12° clockwise around the frame's centre.
    const QRectF r = frame();
    const QPointF zone = r.topRight() + QPointF(-26, 26);
    const QPointF turned = rotatedAbout(r.center(), zone, 12);
    QTest::mousePress(canvas(), Qt::LeftButton, Qt::NoModifier, at(zone));
    for (int i = 1; i <= 4; ++i) QTest::mouseMove(canvas(), at(rotatedAbout(r.center(), zone, 3.0 * i)));
    EXPECT_EQ(*model().activeHandle(), CropHandle::rotate());
    QTest::mouseRelease(canvas(), Qt::LeftButton, Qt::NoModifier, at(turned));
    EXPECT_NEAR(model().angle(), 12, 0.6);
    EXPECT_EQ(model().cropRect(), resized); // turning leaves the frame where it is
    EXPECT_EQ(model().history().size(), 3);

    // A drag starting outside the frame, or a click without a move, changes nothing.
    const CropEditState look = model().currentState();
    drag(QPointF(r.center().x(), r.top() - 20), QPointF(r.center().x() + 50, r.top() - 60));
    QTest::mouseClick(canvas(), Qt::LeftButton, Qt::NoModifier, at(r.center()));
    EXPECT_EQ(model().currentState(), look);
    EXPECT_EQ(model().history().size(), 3);
}

TEST_F(CropEditorView, KeyboardNudgesUndoesAndValidates)
{
    EXPECT_EQ(view.undoButton()->text(), QStringLiteral("Revenir à la photo d’origine (Ctrl+Z)"));
    ASSERT_LT(model().imageSize().width(), model().fullImageSize().width());
    // Steps are pixels of the photo, whatever the working copy's size. Upward first: the frame
    // fills the photo's height and may leave it a little.
    const QSizeF start = model().offset();
    QTest::keyClick(canvas(), Qt::Key_Up);
    EXPECT_NEAR(model().offset().height() - start.height(), -1, 1e-6);
    QTest::keyClick(canvas(), Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_NEAR(model().offset().width() - start.width(), -10, 1e-6);
    EXPECT_NEAR(model().offset().height() - start.height(), -1, 1e-6);
    EXPECT_EQ(model().history().size(), 2);
    EXPECT_EQ(view.undoButton()->text(), QStringLiteral("Annuler la dernière modification (Ctrl+Z)"));

    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_NEAR(model().offset().width(), start.width(), 1e-6);
    EXPECT_NEAR(model().offset().height() - start.height(), -1, 1e-6);
    EXPECT_EQ(model().history().size(), 1);

    // Return validates; onSaved comes only once the page is on disk.
    bool saved = false;
    view.onSaved = [&] {
        saved = true;
        const QSize page = PhotoComposer::printSize(PrintFormat::a5, true);
        const VImage written = decoded(photo);
        EXPECT_EQ(written.width(), page.width());
        EXPECT_EQ(written.height(), page.height());
    };
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_TRUE(model().cropValidated());
    ASSERT_TRUE(QTest::qWaitFor([&] { return saved; }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return idle(); }, 20000));
    EXPECT_TRUE(PhotoOriginals::hasBackup(photo));
    const auto leftSide = pixelAt(photo, 0.2, 0.5), rightSide = pixelAt(photo, 0.8, 0.5);
    EXPECT_GT(leftSide[0], 200);
    EXPECT_LT(leftSide[2], 50);
    EXPECT_LT(rightSide[0], 50);
    EXPECT_GT(rightSide[2], 200);

    // Undoing every step, then once more, gives back the camera's file.
    while (!model().history().isEmpty()) {
        QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
        ASSERT_TRUE(QTest::qWaitFor([&] { return idle(); }, 20000));
    }
    EXPECT_EQ(view.undoButton()->text(), QStringLiteral("Revenir à la photo d’origine (Ctrl+Z)"));
    view.undoButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return idle() && !model().isLoading() && !PhotoOriginals::hasBackup(photo); }, 20000));
    const VImage restored = decoded(photo);
    EXPECT_EQ(restored.width(), 3000);
    EXPECT_EQ(restored.height(), 2000);
}

TEST_F(CropEditorView, PresetsFormatAndWatermarkControls)
{
    // A neutral preset cannot be applied and says why.
    EXPECT_FALSE(view.applyPresetButton()->isEnabled());
    EXPECT_FALSE(view.presetHint()->isHidden());
    EXPECT_EQ(view.applyPresetButton()->toolTip(), QStringLiteral("Applique à cette photo les réglages enregistrés."));

    PhotoRetouchSettings preset;
    preset.contrast = 20;
    preset.exposure = 0.5;
    view.setPreset(preset);
    EXPECT_TRUE(view.applyPresetButton()->isEnabled());
    EXPECT_TRUE(view.presetHint()->isHidden());
    view.applyPresetButton()->click();
    EXPECT_EQ(model().retouchSettings(), preset);
    EXPECT_EQ(view.retouchPanel()->settings(), preset); // the sliders show what was applied

    // A slider change reaches the model; saving hands the photo's settings to the store.
    PhotoRetouchSettings edited = preset;
    edited.saturation = -30;
    Q_EMIT view.retouchPanel()->settingsChanged(edited);
    EXPECT_EQ(model().retouchSettings(), edited);
    std::optional<PhotoRetouchSettings> stored;
    view.onSavePreset = [&](const PhotoRetouchSettings& s) { stored = s; };
    view.savePresetButton()->click();
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, edited);

    // A format capsule switches the print format as one undo step.
    view.formatGroup()->button(1)->click();
    EXPECT_EQ(model().format(), PrintFormat::a4);
    EXPECT_EQ(view.formatGroup()->checkedId(), 1);
    EXPECT_NEAR(model().cropRect().width() / model().cropRect().height(), 297.0 / 210.0, 1e-6);
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(model().format(), PrintFormat::a5);
    EXPECT_EQ(view.formatGroup()->checkedId(), 0);

    // Without a watermark file the toggle has nothing to show.
    EXPECT_FALSE(view.watermarkToggle()->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return idle(); }, 20000));
}

TEST_F(CropEditorView, WatermarkIsDrawnStandingOnTheFrameBottom)
{
    // A 400 × 100 green band encoded by libvips, spread over the frame's width.
    const QString mark = data.file(QStringLiteral("filigrane.png"));
    VImage::black(400, 100, VImage::option()->set("bands", 3))
        .new_from_image({0, 255, 0})
        .cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .write_to_file(mark.toUtf8().constData());
    model().setWatermark(mark);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model().watermarkImage().isNull(); }, 20000));
    ASSERT_TRUE(view.watermarkToggle()->isEnabled());
    EXPECT_EQ(view.watermarkToggle()->toolTip(), QStringLiteral("Étendre le filigrane depuis le bas, centré"));

    auto colourAt = [&](QPointF p) { return canvas()->grab().toImage().pixelColor(at(p)); };
    const QRectF c = frame();
    const double band = c.width() / 4; // the watermark's height once it is as wide as the frame
    EXPECT_LT(colourAt(QPointF(c.left() + c.width() * 0.3, c.bottom() - band / 2)).green(), 60);

    view.watermarkToggle()->click();
    EXPECT_TRUE(model().includeWatermark());
    const QColor inBand = colourAt(QPointF(c.left() + c.width() * 0.3, c.bottom() - band / 2));
    EXPECT_GT(inBand.green(), 200);
    EXPECT_LT(inBand.red(), 60);
    const QColor above = colourAt(QPointF(c.left() + c.width() * 0.3, c.bottom() - band - 8));
    EXPECT_GT(above.red(), 200); // the photo's red half, above the band
    EXPECT_LT(above.green(), 60);
    // Beside the frame, on the photo, the watermark never shows.
    EXPECT_LT(colourAt(QPointF(c.left() - 5, c.bottom() - band / 2)).green(), 60);

    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(model().includeWatermark());
    EXPECT_FALSE(view.watermarkToggle()->isChecked());
    ASSERT_TRUE(QTest::qWaitFor([&] { return idle(); }, 20000));
}

TEST_F(CropEditorView, ATurnBeyondThePhotoIsMarkedAndAjusterALaPhotoBringsItBack)
{
    EXPECT_FALSE(view.beyondPhotoRow()->isVisibleTo(&view));
    // Turned 8° from the rotation zone inside the top-right corner.
    const QRectF c = frame();
    const QPointF zone(c.right() - 26, c.top() + 26);
    drag(zone, rotatedAbout(c.center(), zone, 8));
    ASSERT_GT(std::abs(model().angle()), 5);
    ASSERT_TRUE(model().cropReachesBeyondPhoto());
    EXPECT_TRUE(view.beyondPhotoRow()->isVisibleTo(&view));
    EXPECT_EQ(view.fitToPhotoButton()->text(), QStringLiteral("Ajuster à la photo"));

    // The two corners turned off the photo are hatched in orange, over neither the red nor the
    // blue half of the photo nor the canvas' grey.
    const QImage shown = canvas()->grab().toImage();
    const QRectF f = frame();
    int orange = 0;
    for (const QPointF& corner : {f.topLeft() + QPointF(10, 10), f.topRight() + QPointF(-10, 10),
                                  f.bottomLeft() + QPointF(10, -10), f.bottomRight() + QPointF(-10, -10)}) {
        const QColor c = shown.pixelColor(at(corner));
        if (c.red() > c.blue() + 30 && c.green() > c.blue() + 15) ++orange;
    }
    EXPECT_EQ(orange, 2);

    view.fitToPhotoButton()->click();
    EXPECT_FALSE(model().cropReachesBeyondPhoto());
    EXPECT_FALSE(view.beyondPhotoRow()->isVisibleTo(&view));
    // Undone like any other step.
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(model().cropReachesBeyondPhoto());
    ASSERT_TRUE(QTest::qWaitFor([&] { return idle(); }, 20000));
}

TEST_F(CropEditorView, AnUnreadablePhotoSaysSoAndClosingHandsBack)
{
    const QString broken = data.file(QStringLiteral("DSC_0043.jpg"));
    test::writeFile(broken, QByteArrayLiteral("pas une photo"));
    view.open(broken);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model().isLoading(); }, 20000));
    EXPECT_FALSE(view.errorLabel()->isHidden());
    EXPECT_EQ(view.errorLabel()->text(), QStringLiteral("Impossible de lire cette photo."));
    EXPECT_FALSE(view.validateButton()->isEnabled());
    EXPECT_FALSE(view.undoButton()->isEnabled());

    bool closed = false;
    view.onClose = [&] { closed = true; };
    view.closeButton()->click();
    EXPECT_TRUE(closed);
    EXPECT_FALSE(model().isOpen());
    EXPECT_TRUE(view.errorLabel()->isHidden());
    ASSERT_TRUE(QTest::qWaitFor([&] { return idle(); }, 20000));
}
