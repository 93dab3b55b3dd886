#include "editing/CropEditorModel.h"
#include "editing/PhotoComposer.h"
#include "editing/PhotoEditMemory.h"
#include "editing/PhotoOriginals.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

using namespace tavrin;
using vips::VImage;

namespace {

// A photo made by libvips: the left half one colour, the right half another.
QString makePhoto(const QString& path, int width, int height, std::vector<double> left, std::vector<double> right)
{
    PhotoComposer::ensureVips();
    const VImage xy = VImage::xyz(width, height);
    const VImage isLeft = xy[0] < width / 2;
    const VImage image = isLeft.ifthenelse(left, right).cast(VIPS_FORMAT_UCHAR).copy(
        VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    image.write_to_file(path.toUtf8().constData());
    return path;
}

QByteArray bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Lets queued loads, previews and writes come back; fails the test after 30 s.
void waitIdle(const CropEditorModel& model)
{
    QElapsedTimer clock;
    clock.start();
    while ((model.jobsInFlight() > 0 || model.hasPendingPersist()) && clock.elapsed() < 30000) QTest::qWait(5);
    ASSERT_EQ(model.jobsInFlight(), 0) << "background work did not finish";
}

void expectNear(QColor c, int r, int g, int b, int tolerance = 6)
{
    EXPECT_NEAR(c.red(), r, tolerance);
    EXPECT_NEAR(c.green(), g, tolerance);
    EXPECT_NEAR(c.blue(), b, tolerance);
}

// Every slow step on: its preview takes longer than loading a small photo.
PhotoRetouchSettings heavy()
{
    PhotoRetouchSettings s;
    s.exposure = 0.3;
    s.shadows = 40;
    s.highlights = -30;
    s.contrast = 20;
    s.vibrance = 25;
    s.optimizedSharpness = true;
    s.autoContrast = true;
    return s;
}

PhotoRetouchSettings brighter(double exposure = 1)
{
    PhotoRetouchSettings s;
    s.exposure = exposure;
    return s;
}

// A canvas larger than the working image, so that view points and pixels differ.
const QSizeF canvas(1200, 900);

class CropEditorModelTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString photo;
    CropEditorModel model;

    void SetUp() override
    {
        // 4000 × 2000: the working copy is 2048 × 1024, half a full pixel per working pixel.
        photo = makePhoto(dir.filePath("IMG_0001.jpg"), 4000, 2000, {200, 30, 30}, {30, 30, 200});
    }
    void openAndWait(const QString& file, const PhotoRetouchSettings& preset = {})
    {
        model.open(file, std::nullopt, preset);
        waitIdle(model);
    }
    // A drag on the canvas from `from` by `by`, in view points, as the screen sends it.
    void drag(QPointF from, QPointF by)
    {
        const CropCanvasLayout layout = model.layout(canvas);
        model.beginGesture(from, layout);
        model.applyGesture(by * 0.5, layout.scale);
        model.applyGesture(by, layout.scale);
        model.finishGesture();
    }
};

} // namespace

TEST_F(CropEditorModelTest, AjusterALaPhotoBringsATurnedFrameInsideAsOneStep)
{
    openAndWait(photo);
    EXPECT_FALSE(model.cropReachesBeyondPhoto());
    model.fitCropToPhoto(); // inside already: nothing, no step
    EXPECT_TRUE(model.history().isEmpty());

    // Turned 10° by the rotation zone: the base crop's corners leave the photo.
    const QRectF frame = model.layout(canvas).crop;
    const QPointF zone(frame.right() - 26, frame.top() + 26);
    const QPointF v = zone - frame.center();
    const double t = 10 * M_PI / 180;
    drag(zone, QPointF(v.x() * std::cos(t) - v.y() * std::sin(t), v.x() * std::sin(t) + v.y() * std::cos(t)) - v);
    ASSERT_NEAR(model.angle(), 10, 1e-9);
    EXPECT_TRUE(model.cropReachesBeyondPhoto());
    const QPointF centre = model.cropRect().center();
    const double aspect = model.cropRect().width() / model.cropRect().height();

    model.fitCropToPhoto();
    EXPECT_FALSE(model.cropReachesBeyondPhoto());
    EXPECT_GT(model.zoom(), 1);
    EXPECT_NEAR(model.cropRect().width() / model.cropRect().height(), aspect, 1e-9);
    EXPECT_NEAR(model.cropRect().center().x(), centre.x(), 1e-6);
    EXPECT_NEAR(model.cropRect().center().y(), centre.y(), 1e-6);
    EXPECT_DOUBLE_EQ(model.angle(), 10) << "the turn stays";
    EXPECT_EQ(model.history().size(), 2);

    model.undoLast();
    EXPECT_DOUBLE_EQ(model.zoom(), 1);
    EXPECT_TRUE(model.cropReachesBeyondPhoto());
    waitIdle(model);
}

TEST_F(CropEditorModelTest, GesturesMoveResizeAndTurnTheFrameOneUndoStepEach)
{
    openAndWait(photo);
    ASSERT_EQ(model.imageSize(), QSizeF(2048, 1024));
    EXPECT_EQ(model.fullImageSize(), QSizeF(4000, 2000));
    EXPECT_EQ(model.undoText(), QStringLiteral("Revenir à la photo d’origine (Ctrl+Z)"));

    // Turning a rotation zone a quarter turn about the frame's centre stops at 45°.
    const QRectF frame = model.layout(canvas).crop;
    const QPointF zone(frame.right() - 26, frame.center().y() - (frame.height() / 2 - 26));
    const QPointF fromCentre = zone - frame.center();
    const QPointF quarter(-fromCentre.y(), fromCentre.x());
    drag(zone, quarter - fromCentre);
    EXPECT_DOUBLE_EQ(model.angle(), 45);
    EXPECT_EQ(model.history().size(), 1);
    EXPECT_EQ(model.undoText(), QStringLiteral("Annuler la dernière modification (Ctrl+Z)"));

    // Moving the frame 100 view points right: the offset is kept in full-photo pixels.
    const CropCanvasLayout before = model.layout(canvas);
    drag(before.crop.center(), {100, 0});
    EXPECT_NEAR(model.offset().width(), 100 / before.scale / 0.512, 1e-6);
    EXPECT_NEAR(model.layout(canvas).crop.center().x(), before.crop.center().x() + 100, 1e-6);
    // Dragged far off the photo, the frame keeps 18 % of its height on it.
    drag(model.layout(canvas).crop.center(), {5000, 0});
    EXPECT_NEAR(model.cropRect().left(), 2048 - 0.18 * 1024, 1e-6);

    // The right edge dragged inwards narrows the frame from the left edge it keeps.
    const QRectF start = model.cropRect();
    const CropCanvasLayout l = model.layout(canvas);
    drag(QPointF(l.crop.right(), l.crop.center().y()), QPointF(-100 * l.scale, 0));
    EXPECT_NEAR(model.cropRect().width(), start.width() - 100, 1e-6);
    EXPECT_GT(model.zoom(), 1);
    EXPECT_EQ(model.history().size(), 4);

    // A press outside every handle does nothing and adds no step.
    EXPECT_EQ(model.beginGesture({1, 1}, model.layout(canvas)), std::nullopt);
    model.applyGesture({50, 50}, 1);
    model.finishGesture();
    EXPECT_EQ(model.history().size(), 4);

    // Arrow keys: one step per nudge, in working pixels.
    const double x = model.cropRect().left();
    model.nudge(-10, 0);
    EXPECT_NEAR(model.cropRect().left(), x - 10, 1e-6);
    EXPECT_EQ(model.history().size(), 5);

    // Each undo takes one gesture back, and the journal follows.
    model.undoLast();
    EXPECT_NEAR(model.cropRect().left(), x, 1e-6);
    model.undoLast();
    model.undoLast();
    model.undoLast();
    EXPECT_DOUBLE_EQ(model.angle(), 45);
    EXPECT_DOUBLE_EQ(model.zoom(), 1);
    EXPECT_EQ(model.offset(), QSizeF(0, 0));
    waitIdle(model);
    const auto journal = PhotoEditMemory::read(photo);
    ASSERT_TRUE(journal);
    EXPECT_EQ(journal->current, model.currentState());
    EXPECT_EQ(journal->history.size(), 1);
}

TEST_F(CropEditorModelTest, FormatAndWatermarkChangesAreOneStepEach)
{
    openAndWait(photo);
    const CropCanvasLayout l = model.layout(canvas);
    drag(QPointF(l.crop.left(), l.crop.center().y()), QPointF(100 * l.scale, 0));
    drag(model.layout(canvas).crop.center(), {0, 30});
    const double zoom = model.zoom();
    ASSERT_NE(model.offset(), QSizeF(0, 0));
    ASSERT_GT(zoom, 1);

    QSignalSpy changes(&model, &CropEditorModel::stateChanged);
    model.setFormat(PrintFormat::a5); // unchanged: nothing at all
    EXPECT_EQ(changes.count(), 0);
    model.setFormat(PrintFormat::a4);
    EXPECT_EQ(model.format(), PrintFormat::a4);
    EXPECT_EQ(model.offset(), QSizeF(0, 0));
    EXPECT_DOUBLE_EQ(model.zoom(), zoom);
    EXPECT_NEAR(model.cropRect().width() / model.cropRect().height(), 297.0 / 210.0, 1e-9);

    model.setIncludeWatermark(true);
    EXPECT_EQ(model.history().size(), 4);
    model.undoLast();
    EXPECT_FALSE(model.includeWatermark());
    model.undoLast();
    EXPECT_EQ(model.format(), PrintFormat::a5);
    EXPECT_NE(model.offset(), QSizeF(0, 0));
    EXPECT_DOUBLE_EQ(model.zoom(), zoom);
    waitIdle(model);
}

TEST_F(CropEditorModelTest, UndoPastTheFirstStepGivesBackTheUntouchedFile)
{
    const QByteArray original = bytes(photo);
    openAndWait(photo);
    QSignalSpy written(&model, &CropEditorModel::fileWritten);
    model.setRetouchPreview(brighter());
    waitIdle(model);
    ASSERT_EQ(written.count(), 1);
    EXPECT_EQ(written.at(0).at(0).toString(), photo);
    EXPECT_NE(bytes(photo), original);
    EXPECT_TRUE(model.hasOriginalBackup());
    EXPECT_EQ(bytes(PhotoOriginals::backupPath(photo)), original);
    // The working copy shows the retouch: one stop lighter, the red half's red clips.
    EXPECT_GT(model.preview().pixelColor(100, 500).red(), 245);
    EXPECT_GT(model.preview().pixelColor(100, 500).green(), 38);

    // One step back: neutral retouch, the untouched bytes are copied back; the journal remains.
    model.undoLast();
    waitIdle(model);
    EXPECT_EQ(bytes(photo), original);
    EXPECT_TRUE(QFile::exists(PhotoEditMemory::journalPath(photo)));
    expectNear(model.preview().pixelColor(100, 500), 200, 30, 30);

    // Nothing left to undo: the copy goes back and neither it nor the journal remains.
    EXPECT_EQ(model.undoText(), QStringLiteral("Revenir à la photo d’origine (Ctrl+Z)"));
    model.undoLast();
    waitIdle(model);
    EXPECT_EQ(bytes(photo), original);
    EXPECT_FALSE(QFile::exists(PhotoEditMemory::journalPath(photo)));
    EXPECT_FALSE(QFile::exists(PhotoOriginals::backupPath(photo)));
    EXPECT_FALSE(model.hasOriginalBackup());
    EXPECT_TRUE(model.retouchSettings().isNeutral());
    EXPECT_EQ(model.loadedURL(), photo);
    EXPECT_FALSE(model.preview().isNull());
}

TEST_F(CropEditorModelTest, SliderDragsWriteOnceAfterTheLastChange)
{
    openAndWait(photo);
    QSignalSpy written(&model, &CropEditorModel::fileWritten);
    QElapsedTimer clock;
    clock.start();
    for (int step = 0; clock.elapsed() < 2000; ++step) {
        model.setRetouchPreview(brighter(0.01 * (step + 1)));
        QTest::qWait(40);
    }
    const qint64 lastChange = clock.elapsed();
    EXPECT_EQ(written.count(), 0);
    EXPECT_TRUE(written.wait(10000));
    const qint64 writtenAt = clock.elapsed();
    EXPECT_GE(writtenAt - lastChange, CropEditorModel::retouchPersistDelayMs - 40);
    EXPECT_LT(writtenAt - lastChange, 10000);
    waitIdle(model);
    EXPECT_EQ(written.count(), 1);
    EXPECT_TRUE(model.didSave());
    // The whole drag is a single undo step.
    EXPECT_EQ(model.history().size(), 1);
    EXPECT_EQ(PhotoEditMemory::read(photo)->current.retouch, model.retouchSettings());

    // A model going away with a change still waiting writes it first.
    {
        CropEditorModel other;
        other.open(photo, std::nullopt, {});
        waitIdle(other);
        other.setRetouchPreview(brighter(1.5));
    }
    EXPECT_EQ(PhotoEditMemory::read(photo)->current.retouch, brighter(1.5));
    model.reloadIfShowing(photo);
    waitIdle(model);

    // A change the orders screen overrides by rewriting the file is dropped, never written.
    model.setRetouchPreview(brighter(2));
    model.reloadIfShowing(photo);
    waitIdle(model);
    EXPECT_EQ(written.count(), 1);
    EXPECT_EQ(model.retouchSettings(), PhotoEditMemory::read(photo)->current.retouch);
}

TEST_F(CropEditorModelTest, OpeningStartsFromTheJournalThePresetOrNeutral)
{
    const PhotoRetouchSettings preset = brighter(0.4);
    // Never edited: neutral, whatever the preset.
    openAndWait(photo, preset);
    EXPECT_TRUE(model.retouchSettings().isNeutral());
    EXPECT_TRUE(model.history().isEmpty());
    model.close();
    waitIdle(model);
    // Only looked at: still no untouched copy and no journal.
    EXPECT_FALSE(PhotoOriginals::hasBackup(photo));
    EXPECT_FALSE(QFile::exists(PhotoEditMemory::journalPath(photo)));

    // Edited before journals were kept (untouched copy, no journal): the preset.
    PhotoOriginals::ensureBackup(photo);
    PhotoEditMemory::remove(photo);
    openAndWait(photo, preset);
    EXPECT_EQ(model.retouchSettings(), preset);
    EXPECT_TRUE(model.didSave());
    model.close();
    waitIdle(model);

    // With a journal: its current look and history.
    PhotoEditJournal journal;
    journal.current.format = PrintFormat::a4;
    journal.current.retouch = brighter(0.7);
    journal.history = {CropEditState{}};
    PhotoEditMemory::save(journal, photo);
    openAndWait(photo, preset);
    EXPECT_EQ(model.currentState(), journal.current);
    EXPECT_EQ(model.history(), journal.history);
}

TEST_F(CropEditorModelTest, OpeningAnotherPhotoWritesTheFirstAndDropsItsLateResults)
{
    const QString second = makePhoto(dir.filePath("IMG_0002.jpg"), 1200, 800, {30, 200, 30}, {30, 200, 30});
    const QByteArray firstBytes = bytes(photo);
    openAndWait(photo);
    QSignalSpy written(&model, &CropEditorModel::fileWritten);
    // A retouch still waiting for its delayed write, its preview still being computed.
    model.setRetouchPreview(heavy());
    ASSERT_TRUE(model.hasPendingPersist());
    model.open(second, std::nullopt, {});
    EXPECT_FALSE(model.hasPendingPersist());
    waitIdle(model);

    ASSERT_EQ(written.count(), 1);
    EXPECT_EQ(written.at(0).at(0).toString(), photo);
    EXPECT_NE(bytes(photo), firstBytes);
    EXPECT_EQ(PhotoEditMemory::read(photo)->current.retouch, heavy());
    // The first photo's preview, ready after the second landed, never shows on it.
    EXPECT_EQ(model.loadedURL(), second);
    EXPECT_EQ(model.preview().size(), QSize(1200, 800));
    EXPECT_EQ(model.imageSize(), QSizeF(1200, 800));
    EXPECT_TRUE(model.retouchSettings().isNeutral());
    expectNear(model.preview().pixelColor(600, 400), 30, 200, 30);
    EXPECT_FALSE(QFile::exists(PhotoOriginals::backupPath(second)));

    // Opening the first again before the second lands: only the last one opened is shown.
    model.open(photo, std::nullopt, {});
    model.open(second, std::nullopt, {});
    model.open(photo, std::nullopt, {});
    waitIdle(model);
    EXPECT_EQ(model.loadedURL(), photo);
    EXPECT_EQ(model.imageSize(), QSizeF(2048, 1024));
    EXPECT_EQ(model.retouchSettings(), heavy());

    // Closing writes the look, then forgets the photo.
    model.setIncludeWatermark(true);
    model.close();
    EXPECT_FALSE(model.isOpen());
    EXPECT_TRUE(model.preview().isNull());
    waitIdle(model);
    EXPECT_TRUE(PhotoEditMemory::read(photo)->current.includeWatermark);
}

TEST_F(CropEditorModelTest, ValidatedA4CropIsRenderedFromTheUntouchedPhoto)
{
    openAndWait(photo);
    model.setFormat(PrintFormat::a4);
    // 250 working pixels right: 488.28 full pixels. Crop x 1074 … 3903, the colour change at
    // x = 2000 lands at 32.7 % of the page.
    model.nudge(250, 0);
    std::optional<bool> result;
    model.save([&](bool ok) { result = ok; });
    waitIdle(model);
    ASSERT_EQ(result, std::optional<bool>(true)) << model.errorMessage().value_or(QString()).toStdString();
    EXPECT_TRUE(model.cropValidated());
    EXPECT_EQ(model.bakedState(), model.currentState());

    const auto check = [&](double split) {
        const auto page = PhotoComposer::loadImage(photo);
        ASSERT_TRUE(page);
        ASSERT_EQ(page->width(), 3508);
        ASSERT_EQ(page->height(), 2480);
        const int edge = int(std::lround(split * 3508));
        for (int y : {100, 1240, 2380}) {
            const auto red = const_cast<VImage&>(*page).getpoint(edge - 40, y);
            const auto blue = const_cast<VImage&>(*page).getpoint(edge + 40, y);
            EXPECT_NEAR(red[0], 200, 8);
            EXPECT_NEAR(red[2], 30, 8);
            EXPECT_NEAR(blue[0], 30, 8);
            EXPECT_NEAR(blue[2], 200, 8);
        }
    };
    const double cropWidth = 2000 * 297.0 / 210.0;
    const double left = (4000 - cropWidth) / 2 + 250 / 0.512;
    check((2000 - left) / cropWidth);

    // Moved back and validated again: computed from the camera's photo, not from the page.
    model.nudge(-250, 0);
    model.save();
    waitIdle(model);
    check(0.5);
    EXPECT_EQ(PhotoEditMemory::read(photo)->history.size(), model.history().size());
}

TEST_F(CropEditorModelTest, TheSelectedWatermarkIsPreviewedAndDrawnAlongTheBottomOfTheValidatedPage)
{
    const QString mark = makePhoto(dir.filePath("filigrane.png"), 400, 100, {20, 220, 20}, {20, 220, 20});
    model.open(photo, mark, {});
    waitIdle(model);
    EXPECT_EQ(model.watermarkImage().size(), QSize(400, 100));
    model.setFormat(PrintFormat::a4);
    model.setIncludeWatermark(true);
    model.save();
    waitIdle(model);
    // Spread over the page's width with its own aspect: 3508 × 877 on the bottom edge.
    const auto page = PhotoComposer::loadImage(photo);
    ASSERT_TRUE(page);
    const auto at = [&](int x, int y) { return const_cast<VImage&>(*page).getpoint(x, y); };
    EXPECT_NEAR(at(200, 2470)[1], 220, 8);
    EXPECT_NEAR(at(3300, 2480 - 870)[1], 220, 8);
    EXPECT_NEAR(at(200, 2480 - 890)[0], 200, 8);
    EXPECT_NEAR(at(200, 2480 - 890)[1], 30, 8);

    // A watermark taken away is no longer shown.
    model.setWatermark(std::nullopt);
    waitIdle(model);
    EXPECT_TRUE(model.watermarkImage().isNull());
    EXPECT_EQ(model.watermarkURL(), std::nullopt);
}
