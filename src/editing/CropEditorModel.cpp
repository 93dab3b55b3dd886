#include "editing/CropEditorModel.h"

#include "editing/PhotoComposer.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace CropEditorGeometry {

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

namespace {
double distance(QPointF a, QPointF b) { return std::hypot(a.x() - b.x(), a.y() - b.y()); }
} // namespace

std::optional<CropHandle> hitTest(QPointF p, const QRectF& c)
{
    constexpr double zoneInset = 26, zoneRadius = 18, grab = 12;
    const QPointF zones[] = {{c.left() + zoneInset, c.top() + zoneInset},
                             {c.right() - zoneInset, c.top() + zoneInset},
                             {c.left() + zoneInset, c.bottom() - zoneInset},
                             {c.right() - zoneInset, c.bottom() - zoneInset}};
    for (const QPointF& zone : zones)
        if (distance(p, zone) <= zoneRadius) return CropHandle::rotate();

    const std::pair<CropEdge, QPointF> corners[] = {{CropEdge::topLeft, c.topLeft()},
                                                    {CropEdge::topRight, c.topRight()},
                                                    {CropEdge::bottomLeft, c.bottomLeft()},
                                                    {CropEdge::bottomRight, c.bottomRight()}};
    CropEdge nearest = CropEdge::topLeft;
    double best = distance(p, c.topLeft());
    for (const auto& [edge, point] : corners) {
        const double d = distance(p, point);
        if (d < best) {
            best = d;
            nearest = edge;
        }
    }
    if (best <= grab) return CropHandle::ofEdge(nearest);

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

double limitedAngle(double degrees)
{
    while (degrees > 180) degrees -= 360;
    while (degrees < -180) degrees += 360;
    return std::clamp(degrees, -45.0, 45.0);
}

} // namespace CropEditorGeometry

CropEditorModel::CropEditorModel(QObject* parent)
    : QObject(parent), m_writeGeneration(std::make_shared<std::atomic<quint64>>(0)), m_persistTimer(new QTimer(this))
{
    m_persistTimer->setSingleShot(true);
    m_persistTimer->setInterval(retouchPersistDelayMs);
    m_writePool.setMaxThreadCount(1);
    m_workPool.setMaxThreadCount(2);
}

CropEditorModel::~CropEditorModel()
{
    m_writePool.waitForDone();
    m_workPool.waitForDone();
}

QSizeF CropEditorModel::imageSize() const
{
    return m_baseImage ? QSizeF(m_baseImage->width, m_baseImage->height) : QSizeF();
}

CropEditState CropEditorModel::currentState() const
{
    CropEditState s;
    s.format = m_format;
    s.includeWatermark = m_includeWatermark;
    s.zoom = m_zoom;
    s.offset = m_offset;
    s.angle = m_angle;
    s.retouch = m_retouchSettings;
    s.cropValidated = m_cropValidated;
    return s;
}

bool CropEditorModel::hasGeometryEdits() const
{
    return m_zoom != 1 || m_offset != QSizeF(0, 0) || m_angle != 0 || m_includeWatermark;
}

QString CropEditorModel::undoText() const { return m_history.isEmpty() ? revertToOriginalText() : undoLastText(); }
QString CropEditorModel::undoLastText() { return QStringLiteral("Annuler la dernière modification (Ctrl+Z)"); }
QString CropEditorModel::revertToOriginalText() { return QStringLiteral("Revenir à la photo d’origine (Ctrl+Z)"); }
QString CropEditorModel::validateText() { return QStringLiteral("Valider le recadrage (Entrée)"); }
QString CropEditorModel::rotateHelpText() { return QStringLiteral("Corriger l’angle"); }

QRectF CropEditorModel::cropRect() const { return {}; }
CropCanvasLayout CropEditorModel::layout(QSizeF canvas) const
{
    return CropEditorGeometry::cropLayout(imageSize(), cropRect(), canvas);
}
std::optional<CropHandle> CropEditorModel::hitTest(QPointF point, QSizeF canvas) const
{
    return CropEditorGeometry::hitTest(point, layout(canvas).crop);
}
CropCursor CropEditorModel::cursorAt(QPointF point, QSizeF canvas) const
{
    return CropEditorGeometry::cursorFor(hitTest(point, canvas));
}
bool CropEditorModel::hasPendingPersist() const { return m_persistTimer->isActive(); }

void CropEditorModel::open(const QString&, const std::optional<QString>&, const PhotoRetouchSettings&) {}
void CropEditorModel::close() {}
void CropEditorModel::reloadIfShowing(const QString&) {}
void CropEditorModel::setWatermark(const std::optional<QString>& url) { m_watermarkURL = url; }
void CropEditorModel::setFormat(PrintFormat) {}
void CropEditorModel::setIncludeWatermark(bool) {}
void CropEditorModel::setRetouchPreview(const PhotoRetouchSettings&) {}
std::optional<CropHandle> CropEditorModel::beginGesture(QPointF, const CropCanvasLayout&) { return std::nullopt; }
void CropEditorModel::beginGesture(const std::optional<CropHandle>&, QSizeF) {}
void CropEditorModel::applyGesture(QPointF, double) {}
void CropEditorModel::finishGesture() {}
void CropEditorModel::nudge(double, double) {}
void CropEditorModel::save(std::function<void(bool)> done)
{
    if (done) done(false);
}
void CropEditorModel::undoLast() {}
void CropEditorModel::persistCurrent() {}

} // namespace tavrin
