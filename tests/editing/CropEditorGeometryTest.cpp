#include "editing/CropEditorGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tavrin;
namespace Geo = tavrin::CropEditorGeometry;

TEST(CropEditorGeometry, HitTestingTakesZonesThenCornersThenEdges)
{
    const QRectF frame(100, 100, 400, 300);
    // 10 points beyond a corner still takes it; 14 beyond an edge takes nothing.
    EXPECT_EQ(Geo::hitTest({90, 100}, frame), CropHandle::ofEdge(CropEdge::topLeft));
    EXPECT_EQ(Geo::hitTest({500 + 7, 400 + 7}, frame), CropHandle::ofEdge(CropEdge::bottomRight));
    EXPECT_EQ(Geo::hitTest({300, 100 - 14}, frame), std::nullopt);
    EXPECT_EQ(Geo::hitTest({500 + 14, 250}, frame), std::nullopt);
    // Edges within 12, away from the corners.
    EXPECT_EQ(Geo::hitTest({300, 100 - 10}, frame), CropHandle::ofEdge(CropEdge::top));
    EXPECT_EQ(Geo::hitTest({300, 405}, frame), CropHandle::ofEdge(CropEdge::bottom));
    EXPECT_EQ(Geo::hitTest({95, 250}, frame), CropHandle::ofEdge(CropEdge::left));
    EXPECT_EQ(Geo::hitTest({510, 250}, frame), CropHandle::ofEdge(CropEdge::right));
    // Rotation zones, 26 inside each corner with a reach of 18, win over everything.
    EXPECT_EQ(Geo::hitTest({126, 126}, frame), CropHandle::rotate());
    EXPECT_EQ(Geo::hitTest({474 + 12, 374 - 12}, frame), CropHandle::rotate());
    EXPECT_EQ(Geo::hitTest({300, 250}, frame), CropHandle::move());
    // A small frame: the rotation zones cover the corner grab points.
    EXPECT_EQ(Geo::hitTest({100, 100}, QRectF(100, 100, 30, 30)), CropHandle::rotate());

    EXPECT_EQ(Geo::cursorFor(std::nullopt), CropCursor::arrow);
    EXPECT_EQ(Geo::cursorFor(CropHandle::ofEdge(CropEdge::left)), CropCursor::sizeHor);
    EXPECT_EQ(Geo::cursorFor(CropHandle::ofEdge(CropEdge::bottom)), CropCursor::sizeVer);
    EXPECT_EQ(Geo::cursorFor(CropHandle::ofEdge(CropEdge::topLeft)), CropCursor::sizeFDiag);
    EXPECT_EQ(Geo::cursorFor(CropHandle::ofEdge(CropEdge::bottomLeft)), CropCursor::sizeBDiag);
    EXPECT_EQ(Geo::cursorFor(CropHandle::move()), CropCursor::openHand);
    EXPECT_EQ(Geo::cursorFor(CropHandle::rotate()), CropCursor::cross);
}

TEST(CropEditorGeometry, LayoutZoomsOutToShowAFrameBeyondThePhoto)
{
    // The frame fits the photo: the photo fills the canvas' width less the margin.
    CropCanvasLayout l = Geo::cropLayout({2000, 1000}, QRectF(500, 0, 1000, 1000), {1008, 1000});
    EXPECT_DOUBLE_EQ(l.scale, 0.5);
    EXPECT_EQ(l.image, QRectF(4, 250, 1000, 500));
    EXPECT_EQ(l.crop, QRectF(254, 250, 500, 500));
    // A frame reaching 1000 pixels left of the photo: both fit, the photo moves right.
    l = Geo::cropLayout({2000, 1000}, QRectF(-1000, 0, 1000, 1000), {3008, 1016});
    EXPECT_DOUBLE_EQ(l.scale, 1);
    EXPECT_EQ(l.crop, QRectF(4, 8, 1000, 1000));
    EXPECT_EQ(l.image, QRectF(1004, 8, 2000, 1000));
    // Turns are brought into ±180 before the ±45 limit.
    EXPECT_DOUBLE_EQ(Geo::limitedAngle(370), 10);
    EXPECT_DOUBLE_EQ(Geo::limitedAngle(-200), 45);
    EXPECT_DOUBLE_EQ(Geo::limitedAngle(-90), -45);
}

TEST(CropEditorGeometry, AFrameBeyondThePhotoIsFittedBackAtTheLargestSizeThatHolds)
{
    const QSizeF photo(2000, 1000);
    const QRectF base(500, 0, 1000, 1000); // the base square crop touches top and bottom
    EXPECT_FALSE(Geo::reachesBeyond(base, 0, photo));
    EXPECT_TRUE(Geo::reachesBeyond(base, 5, photo)) << "any turn of a frame touching two edges reaches beyond";
    EXPECT_TRUE(Geo::reachesBeyond(QRectF(-10, 100, 500, 500), 0, photo));
    EXPECT_FALSE(Geo::reachesBeyond(QRectF(100, 100, 500, 500), 10, photo));

    // Turned 30°: the box around the turned square is s·(cos + sin) wide, so the photo's
    // height holds a square of 1000 / (cos 30° + sin 30°); the centre stays.
    const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
    QRectF fitted = Geo::fittedCrop(base, 30, photo);
    EXPECT_NEAR(fitted.width(), 1000 / (c + s), 1e-9);
    EXPECT_NEAR(fitted.width() / fitted.height(), 1, 1e-12);
    EXPECT_EQ(fitted.center(), base.center());
    EXPECT_FALSE(Geo::reachesBeyond(fitted, 30, photo));
    EXPECT_TRUE(Geo::reachesBeyond(QRectF(fitted.topLeft(), fitted.size() * 1.01), 30, photo)) << "the largest";

    // Zoomed out to twice the photo (a 3:2 frame): brought back to the largest 3:2 inside it.
    fitted = Geo::fittedCrop(QRectF(-500, -1000, 3000, 2000), 0, photo);
    EXPECT_NEAR(fitted.width(), 1500, 1e-9);
    EXPECT_NEAR(fitted.height(), 1000, 1e-9);
    EXPECT_NEAR(fitted.center().x(), 1000, 1e-9);
    EXPECT_NEAR(fitted.top(), 0, 1e-9);

    // Moved half off the left edge but small enough: same size, moved just inside.
    fitted = Geo::fittedCrop(QRectF(-150, 300, 300, 200), 0, photo);
    EXPECT_EQ(fitted, QRectF(0, 300, 300, 200));
    // Turned near a corner: shrunk only as far as the photo requires, moved the least.
    fitted = Geo::fittedCrop(QRectF(1700, 700, 400, 400), -20, photo);
    EXPECT_NEAR(fitted.width(), 400, 1e-9);
    EXPECT_FALSE(Geo::reachesBeyond(fitted, -20, photo));
    const QSizeF half(200 * (std::cos(M_PI / 9) + std::sin(M_PI / 9)), 200 * (std::cos(M_PI / 9) + std::sin(M_PI / 9)));
    EXPECT_NEAR(fitted.center().x(), 2000 - half.width(), 1e-9);
    EXPECT_NEAR(fitted.center().y(), 1000 - half.height(), 1e-9);
}

// What a drag does to the frame, and where the frame lies in the full photo.
TEST(CropEditorGeometry, DragsTurnMoveAndResizeTheFrameInPhotoPixels)
{
    // The rotate zone dragged a quarter turn about the centre stops at 45°; near the centre
    // the direction means nothing and the angle stays.
    EXPECT_DOUBLE_EQ(*Geo::turnedAngle(0, {100, 0}, {-100, 100}), 45);
    EXPECT_NEAR(*Geo::turnedAngle(10, {100, 0}, {0, std::tan(M_PI / 18) * 100}), 20, 1e-9);
    EXPECT_EQ(Geo::turnedAngle(0, {3, 0}, {50, 50}), std::nullopt);
    EXPECT_EQ(Geo::turnedAngle(0, {100, 0}, {-98, 0}), std::nullopt);

    // A working copy at a quarter of the photo: the look's offset is in photo pixels.
    const QSizeF working(1500, 1000);
    const double k = 0.25;
    CropEditState look;
    look.format = PrintFormat::a4;
    look.offset = QSizeF(200, -80);
    const QRectF frame = Geo::frameInPhoto(look, working, k);
    EXPECT_NEAR(frame.height(), 1000, 1e-9); // a4 landscape is wider than 3:2: height-limited
    EXPECT_NEAR(frame.center().x(), 750 + 50, 1e-9);
    EXPECT_NEAR(frame.center().y(), 500 - 20, 1e-9);
    const QSizeF back = Geo::offsetOfFrame(frame, working, k);
    EXPECT_NEAR(back.width(), 200, 1e-9);
    EXPECT_NEAR(back.height(), -80, 1e-9);

    // Moved far off the photo, 18 % of the frame's smaller side stays on it.
    const QRectF moved = Geo::movedFrame(look, QSizeF(-10000, 0), working, k);
    EXPECT_NEAR(moved.right(), 0.18 * 1000, 1e-9);
    // The left grab point dragged far right stops at the minimum width; the aspect stays.
    const QRectF small = Geo::resizedFrame(frame, CropEdge::left, QSizeF(10000, 0), working, PrintFormat::a4);
    EXPECT_NEAR(small.width(), std::max(0.08 * 1000, 32.0), 1e-9);
    EXPECT_NEAR(small.right(), frame.right(), 1e-9);
    EXPECT_NEAR(small.width() / small.height(), 297.0 / 210.0, 1e-9);
    EXPECT_GT(Geo::zoomOfFrame(small, working, PrintFormat::a4), 5);
}

// The canvas draws what the hit-test takes: rotation marks where presses turn, the watermark on
// the frame's bottom edge, the white part of the page where the turned photo leaves the frame.
TEST(CropEditorGeometry, TheCanvasDrawsWhereThePressesAct)
{
    const QRectF frame(100, 100, 400, 300);
    for (const QPointF& zone : Geo::rotationZones(frame)) EXPECT_EQ(Geo::hitTest(zone, frame), CropHandle::rotate());
    EXPECT_EQ(Geo::rotationZones(frame)[3], QPointF(474, 374));

    EXPECT_EQ(Geo::watermarkRect(frame, QSizeF(2000, 500)), QRectF(100, 300, 400, 100));
    EXPECT_TRUE(Geo::watermarkRect(frame, QSizeF(0, 0)).isNull());

    const CropCanvasLayout layout{QRectF(0, 0, 600, 400), QRectF(20, 10, 560, 380), 1};
    EXPECT_TRUE(Geo::beyondArea(layout, 0).isEmpty());
    const QPainterPath beyond = Geo::beyondArea(layout, 30);
    EXPECT_FALSE(beyond.isEmpty());
    // Turned 30°, the photo's corners swing away from the frame's: its corners fall outside,
    // its centre never does.
    EXPECT_TRUE(beyond.contains(QPointF(22, 12)));
    EXPECT_FALSE(beyond.contains(QPointF(300, 200)));
    EXPECT_EQ(Geo::photoTurn(layout.crop, 90).map(QPointF(400, 200)), QPointF(300, 300));
}
