#pragma once

// The crop editor's geometry, apart from its state: where the photo and the frame sit on the
// canvas, what a press grabs and the pointer shape it shows, how a drag moves, resizes or turns the
// frame, and where the frame lies in the photo. Free of Qt Widgets, so that each piece can be
// checked on its own. Frames are in pixels of the working image unless named view points.

#include "editing/CropEdge.h"
#include "editing/CropEditState.h"
#include "editing/PrintFormat.h"

#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

#include <array>
#include <optional>

namespace tavrin {

// What a press on the canvas grabs: one of the eight grab points, the whole frame, or a rotation zone.
struct CropHandle {
    enum class Kind { edge, move, rotate };
    Kind kind = Kind::move;
    CropEdge edge = CropEdge::left; // meaningful only for Kind::edge

    static CropHandle ofEdge(CropEdge e) { return {Kind::edge, e}; }
    static CropHandle move() { return {Kind::move, CropEdge::left}; }
    static CropHandle rotate() { return {Kind::rotate, CropEdge::left}; }
    bool isEdge(CropEdge e) const { return kind == Kind::edge && edge == e; }
    bool operator==(const CropHandle& other) const
    {
        return kind == other.kind && (kind != Kind::edge || edge == other.edge);
    }
};

// Pointer shape per handle; the view maps each to its Qt cursor of the same name.
enum class CropCursor { arrow, sizeHor, sizeVer, sizeFDiag, sizeBDiag, openHand, cross };

// Where the photo and the frame sit on a canvas, in view points, and view points per working pixel.
struct CropCanvasLayout {
    QRectF image;
    QRectF crop;
    double scale = 1;
    bool operator==(const CropCanvasLayout&) const = default;
};

namespace CropEditorGeometry {

// Centres of the rotation zones lie this far inside each corner of the frame, in view points.
inline constexpr double rotationZoneInset = 26;
// A press this near a zone's centre turns the frame.
inline constexpr double rotationZoneRadius = 18;
// A press this near a corner or an edge grabs it.
inline constexpr double grabDistance = 12;

// The photo zoomed out far enough that the whole frame, even beyond the photo, fits the canvas.
CropCanvasLayout cropLayout(QSizeF imageSize, const QRectF& crop, QSizeF canvas);
// The four rotation zones of a frame in view points: top-left, top-right, bottom-left, bottom-right.
std::array<QPointF, 4> rotationZones(const QRectF& frame);
// Rotation zones, then corners, then edges, then the inside.
std::optional<CropHandle> hitTest(QPointF point, const QRectF& frame);
// Pointer shape for a handle, the arrow outside the frame.
CropCursor cursorFor(const std::optional<CropHandle>& handle);

// The frame of a look in working pixels; the look's offset is in full-photo pixels and
// `workingScale` is working pixels per full-photo pixel.
QRectF frameInPhoto(const CropEditState& look, QSizeF workingSize, double workingScale);
// The look's offset (full-photo pixels) that puts a frame of that size at that place.
QSizeF offsetOfFrame(const QRectF& frame, QSizeF workingSize, double workingScale);

// The frame moved by `translation` (working pixels) from where the look started, kept overlapping the photo.
QRectF movedFrame(const CropEditState& start, QSizeF translation, QSizeF workingSize, double workingScale);
// The frame with one grab point dragged by `translation` (working pixels), the format's aspect kept.
QRectF resizedFrame(const QRectF& start, CropEdge edge, QSizeF translation, QSizeF workingSize, PrintFormat format);
// Zoom of a frame of the format in a photo of that size.
double zoomOfFrame(const QRectF& frame, QSizeF workingSize, PrintFormat format);
// Degrees brought into [−180, 180] by whole turns, then limited to ±45.
double limitedAngle(double degrees);
// The angle after turning by a drag: the press was `fromCentre` away from the frame's centre and
// moved by `translation` (view points). None while either vector is 4 points long or shorter.
std::optional<double> turnedAngle(double startAngle, QPointF fromCentre, QPointF translation);

// A corner of the frame, turned by `angle` degrees about its centre as on the page, falls outside
// the photo: the print would show white there.
bool reachesBeyond(const QRectF& crop, double angle, QSizeF imageSize);
// The frame brought inside the photo at that angle: the same aspect, the largest size the photo
// holds (never larger than it was), its centre kept where that size allows.
QRectF fittedCrop(const QRectF& crop, double angle, QSizeF imageSize);

// --- Drawing on the canvas (view points) ------------------------------------------------------
// The photo turns about the frame's centre, as it will on the printed page.
QTransform photoTurn(const QRectF& frame, double angle);
// The part of the frame outside the turned photo, which the page will show white.
QPainterPath beyondArea(const CropCanvasLayout& layout, double angle);
// The watermark as the page carries it: the frame's width, its own aspect, on the bottom edge.
QRectF watermarkRect(const QRectF& frame, QSizeF watermarkSize);
// Corner brackets and bars on each side's middle.
QPainterPath handleMarks(const QRectF& frame);
// Working pixels of one step of a full-photo pixel (arrow keys move the frame by photo pixels).
double workingPixelsPerPhotoPixel(QSizeF workingSize, QSizeF fullSize);

} // namespace CropEditorGeometry
} // namespace tavrin
