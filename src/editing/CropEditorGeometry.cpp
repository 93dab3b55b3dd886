#include "editing/CropEditorGeometry.h"

#include "editing/PhotoComposer.h"

#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace tavrin::CropEditorGeometry {

namespace {

double distance(QPointF a, QPointF b) { return std::hypot(a.x() - b.x(), a.y() - b.y()); }

// Half the width and height of the box around the frame once turned by `angle` degrees: the frame
// lies inside the photo exactly when that box does.
QSizeF turnedHalfExtent(QSizeF size, double angle)
{
    const double radians = angle * M_PI / 180.0;
    const double c = std::abs(std::cos(radians)), s = std::abs(std::sin(radians));
    return {(size.width() * c + size.height() * s) / 2, (size.width() * s + size.height() * c) / 2};
}

} // namespace

CropCanvasLayout cropLayout(QSizeF imageSize, const QRectF& crop, QSizeF canvas)
{
    const QRectF photo(QPointF(0, 0), imageSize);
    const QRectF u = photo.united(crop);
    const double cw = canvas.width();
    const double ch = canvas.height();
    const double byHeight = std::max(ch - 16, 1.0);
    const double scale = u.height() <= 1 ? byHeight / 1.0
                                         : std::min(std::max(cw - 8, 1.0) / std::max(u.width(), 1.0), byHeight / u.height());
    const double ox = (cw - scale * u.width()) / 2;
    const double oy = (ch - scale * u.height()) / 2;
    const auto place = [&](const QRectF& r) {
        return QRectF(ox + scale * (r.left() - u.left()), oy + scale * (r.top() - u.top()), scale * r.width(),
                      scale * r.height());
    };
    return {place(photo), place(crop), scale};
}

std::array<QPointF, 4> rotationZones(const QRectF& c)
{
    return {QPointF(c.left() + rotationZoneInset, c.top() + rotationZoneInset),
            QPointF(c.right() - rotationZoneInset, c.top() + rotationZoneInset),
            QPointF(c.left() + rotationZoneInset, c.bottom() - rotationZoneInset),
            QPointF(c.right() - rotationZoneInset, c.bottom() - rotationZoneInset)};
}

std::optional<CropHandle> hitTest(QPointF p, const QRectF& c)
{
    for (const QPointF& zone : rotationZones(c))
        if (distance(p, zone) <= rotationZoneRadius) return CropHandle::rotate();

    const std::pair<CropEdge, QPointF> corners[] = {{CropEdge::topLeft, c.topLeft()},
                                                    {CropEdge::topRight, c.topRight()},
                                                    {CropEdge::bottomLeft, c.bottomLeft()},
                                                    {CropEdge::bottomRight, c.bottomRight()}};
    CropEdge nearest = CropEdge::topLeft;
    double best = distance(p, c.topLeft());
    // A later corner wins only when strictly nearer.
    for (const auto& [edge, point] : corners) {
        const double d = distance(p, point);
        if (d < best) {
            best = d;
            nearest = edge;
        }
    }
    if (best <= grabDistance) return CropHandle::ofEdge(nearest);

    const double grab = grabDistance;
    if (!c.adjusted(-grab, -grab, grab, grab).contains(p)) return std::nullopt;
    const bool alongX = c.left() + grab < p.x() && p.x() < c.right() - grab;
    const bool alongY = c.top() + grab < p.y() && p.y() < c.bottom() - grab;
    if (std::abs(p.y() - c.top()) <= grab && alongX) return CropHandle::ofEdge(CropEdge::top);
    if (std::abs(p.y() - c.bottom()) <= grab && alongX) return CropHandle::ofEdge(CropEdge::bottom);
    if (std::abs(p.x() - c.left()) <= grab && alongY) return CropHandle::ofEdge(CropEdge::left);
    if (std::abs(p.x() - c.right()) <= grab && alongY) return CropHandle::ofEdge(CropEdge::right);
    if (c.contains(p)) return CropHandle::move();
    return std::nullopt;
}

CropCursor cursorFor(const std::optional<CropHandle>& handle)
{
    if (!handle) return CropCursor::arrow;
    switch (handle->kind) {
    case CropHandle::Kind::move: return CropCursor::openHand;
    case CropHandle::Kind::rotate: return CropCursor::cross;
    case CropHandle::Kind::edge: break;
    }
    switch (handle->edge) {
    case CropEdge::left:
    case CropEdge::right: return CropCursor::sizeHor;
    case CropEdge::top:
    case CropEdge::bottom: return CropCursor::sizeVer;
    // Top-left to bottom-right is the forward diagonal of Qt's cursors.
    case CropEdge::topLeft:
    case CropEdge::bottomRight: return CropCursor::sizeFDiag;
    case CropEdge::topRight:
    case CropEdge::bottomLeft: return CropCursor::sizeBDiag;
    }
    return CropCursor::arrow;
}

QRectF frameInPhoto(const CropEditState& look, QSizeF workingSize, double workingScale)
{
    if (workingSize.isEmpty()) return {};
    CropEditState working = look;
    working.offset = look.offset * workingScale;
    return PhotoComposer::cropRect(working, workingSize);
}

QSizeF offsetOfFrame(const QRectF& frame, QSizeF workingSize, double workingScale)
{
    const QPointF centred((workingSize.width() - frame.width()) / 2, (workingSize.height() - frame.height()) / 2);
    const QPointF moved = frame.topLeft() - centred;
    return QSizeF(moved.x(), moved.y()) / (workingScale > 0 ? workingScale : 1);
}

QRectF movedFrame(const CropEditState& start, QSizeF translation, QSizeF workingSize, double workingScale)
{
    CropEditState look = start;
    look.offset = start.offset * workingScale + translation;
    return PhotoComposer::keepOverlap(PhotoComposer::cropRect(look, workingSize), workingSize);
}

QRectF resizedFrame(const QRectF& start, CropEdge edge, QSizeF translation, QSizeF workingSize, PrintFormat format)
{
    const double aspect = aspectRatio(format, workingSize.width(), workingSize.height());
    return PhotoComposer::resizedCrop(start, edge, translation, workingSize, aspect);
}

double zoomOfFrame(const QRectF& frame, QSizeF workingSize, PrintFormat format)
{
    return PhotoComposer::zoom(frame, workingSize, aspectRatio(format, workingSize.width(), workingSize.height()));
}

double limitedAngle(double degrees)
{
    while (degrees > 180) degrees -= 360;
    while (degrees < -180) degrees += 360;
    return std::clamp(degrees, -45.0, 45.0);
}

std::optional<double> turnedAngle(double startAngle, QPointF fromCentre, QPointF translation)
{
    const QPointF s = fromCentre;
    const QPointF c = s + translation;
    // Too near the centre, the direction means nothing.
    if (std::hypot(s.x(), s.y()) <= 4 || std::hypot(c.x(), c.y()) <= 4) return std::nullopt;
    const double turned = (std::atan2(c.y(), c.x()) - std::atan2(s.y(), s.x())) * 180 / M_PI;
    return limitedAngle(startAngle + turned);
}

bool reachesBeyond(const QRectF& crop, double angle, QSizeF imageSize)
{
    if (crop.isEmpty() || imageSize.isEmpty()) return false;
    // Half a working pixel of slack: the base crop touches the photo's edges exactly.
    constexpr double slack = 0.5;
    const QSizeF half = turnedHalfExtent(crop.size(), angle);
    const QPointF c = crop.center();
    return c.x() - half.width() < -slack || c.x() + half.width() > imageSize.width() + slack ||
           c.y() - half.height() < -slack || c.y() + half.height() > imageSize.height() + slack;
}

QRectF fittedCrop(const QRectF& crop, double angle, QSizeF imageSize)
{
    if (crop.isEmpty() || imageSize.isEmpty()) return crop;
    const QSizeF half = turnedHalfExtent(crop.size(), angle);
    // The largest frame of this shape and angle that the photo holds sits at its centre; a frame
    // already small enough keeps its size.
    const double scale = std::min({1.0, imageSize.width() / 2 / half.width(), imageSize.height() / 2 / half.height()});
    const QSizeF fitted = crop.size() * scale;
    const QSizeF fittedHalf = half * scale;
    // The centre stays where the fitted frame allows it, else moves the least it must.
    const double cx = std::clamp(crop.center().x(), fittedHalf.width(), imageSize.width() - fittedHalf.width());
    const double cy = std::clamp(crop.center().y(), fittedHalf.height(), imageSize.height() - fittedHalf.height());
    return {cx - fitted.width() / 2, cy - fitted.height() / 2, fitted.width(), fitted.height()};
}

QTransform photoTurn(const QRectF& frame, double angle)
{
    QTransform turn;
    turn.translate(frame.center().x(), frame.center().y());
    turn.rotate(angle);
    turn.translate(-frame.center().x(), -frame.center().y());
    return turn;
}

QPainterPath beyondArea(const CropCanvasLayout& layout, double angle)
{
    QPainterPath photo;
    photo.addPolygon(photoTurn(layout.crop, angle).map(QPolygonF(layout.image)));
    photo.closeSubpath();
    QPainterPath frame;
    frame.addRect(layout.crop);
    return frame.subtracted(photo);
}

QRectF watermarkRect(const QRectF& frame, QSizeF watermarkSize)
{
    if (watermarkSize.width() <= 0) return {};
    const double height = frame.width() * watermarkSize.height() / watermarkSize.width();
    return {frame.left(), frame.bottom() - height, frame.width(), height};
}

QPainterPath handleMarks(const QRectF& frame)
{
    const double arm = std::min({14.0, frame.width() / 3, frame.height() / 3});
    QPainterPath marks;
    const std::array<std::pair<QPointF, QPointF>, 4> corners{{{frame.topLeft(), {1, 1}},
                                                              {frame.topRight(), {-1, 1}},
                                                              {frame.bottomLeft(), {1, -1}},
                                                              {frame.bottomRight(), {-1, -1}}}};
    for (const auto& [corner, inward] : corners) {
        marks.moveTo(corner + QPointF(inward.x() * arm, 0));
        marks.lineTo(corner);
        marks.lineTo(corner + QPointF(0, inward.y() * arm));
    }
    const double bar = std::min({9.0, frame.width() / 6, frame.height() / 6});
    marks.moveTo(frame.center().x() - bar, frame.top());
    marks.lineTo(frame.center().x() + bar, frame.top());
    marks.moveTo(frame.center().x() - bar, frame.bottom());
    marks.lineTo(frame.center().x() + bar, frame.bottom());
    marks.moveTo(frame.left(), frame.center().y() - bar);
    marks.lineTo(frame.left(), frame.center().y() + bar);
    marks.moveTo(frame.right(), frame.center().y() - bar);
    marks.lineTo(frame.right(), frame.center().y() + bar);
    return marks;
}

double workingPixelsPerPhotoPixel(QSizeF workingSize, QSizeF fullSize)
{
    return fullSize.width() > 0 ? workingSize.width() / fullSize.width() : 1;
}

} // namespace tavrin::CropEditorGeometry
