#include "editing/views/CropCanvas.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QTransform>

#include <array>

namespace tavrin {

namespace {

namespace Geometry = CropEditorGeometry;

constexpr double rotationZoneDrawnRadius = 11;

} // namespace

CropCanvas::CropCanvas(CropEditorModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_rotateIcon(Symbols::icon(QStringLiteral("rotate.right"), Qt::white)),
      m_warningIcon(Symbols::icon(QStringLiteral("exclamationmark.triangle.fill"), Theme::orange(true)))
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // Drawn edge to edge every time; nothing behind needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    const auto repaint = [this] { update(); };
    connect(&m_model, &CropEditorModel::previewChanged, this, repaint);
    connect(&m_model, &CropEditorModel::stateChanged, this, repaint);
    connect(&m_model, &CropEditorModel::watermarkImageChanged, this, repaint);
    connect(&m_model, &CropEditorModel::loaded, this, repaint);
    connect(&m_model, &CropEditorModel::fileChanged, this, [this] {
        // A new photo never continues the previous one's drag.
        m_pressPoint.reset();
        m_gestureBegun = false;
        update();
    });
}

CropCanvasLayout CropCanvas::currentLayout() const { return m_model.layout(QSizeF(size())); }

bool CropCanvas::hasPhoto() const { return m_model.isOpen() && !m_model.imageSize().isEmpty(); }

Qt::CursorShape CropCanvas::cursorShape(CropCursor cursor)
{
    switch (cursor) {
    case CropCursor::arrow: return Qt::ArrowCursor;
    case CropCursor::sizeHor: return Qt::SizeHorCursor;
    case CropCursor::sizeVer: return Qt::SizeVerCursor;
    case CropCursor::sizeFDiag: return Qt::SizeFDiagCursor;
    case CropCursor::sizeBDiag: return Qt::SizeBDiagCursor;
    case CropCursor::openHand: return Qt::OpenHandCursor;
    case CropCursor::cross: return Qt::CrossCursor;
    }
    return Qt::ArrowCursor;
}

QString CropCanvas::helpText(const std::optional<CropHandle>& handle)
{
    if (!handle) return {};
    if (handle->kind == CropHandle::Kind::rotate) return CropEditorModel::rotateHelpText();
    if (handle->kind == CropHandle::Kind::edge && isCorner(handle->edge)) return QStringLiteral("Redimensionner");
    return {};
}

void CropCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor window = palette().color(QPalette::Window);
    painter.fillRect(rect(), window.lightness() > 128 ? window.darker(112) : window.darker(135));
    if (!hasPhoto() || m_model.preview().isNull()) return;

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const CropCanvasLayout layout = currentLayout();
    const QRectF frame = layout.crop;

    // The photo turns about the frame's centre, as it will on the printed page.
    painter.save();
    painter.setTransform(Geometry::photoTurn(frame, m_model.angle()), true);
    const QPixmap& photo = scaledPreview(layout.image.size());
    painter.drawPixmap(layout.image, photo, QRectF(QPointF(0, 0), QSizeF(photo.size())));
    painter.restore();

    // What falls outside the print is dimmed, not hidden, so the user sees what the frame leaves out.
    QPainterPath outside;
    outside.addRect(QRectF(rect()));
    outside.addRect(frame);
    painter.fillPath(outside, QColor(0, 0, 0, 115));

    // The watermark as the page will carry it: the frame's width, its own aspect, standing on the
    // frame's bottom edge, whatever rises above the frame cut off.
    const QImage& watermark = m_model.watermarkImage();
    if (m_model.includeWatermark() && !watermark.isNull() && watermark.width() > 0) {
        const QRectF target = Geometry::watermarkRect(frame, QSizeF(watermark.size()));
        painter.save();
        painter.setClipRect(frame);
        painter.drawImage(target, watermark);
        painter.restore();
    }

    if (m_model.cropReachesBeyondPhoto()) drawBeyondMark(painter, layout);
    drawFrame(painter, frame);
}

// Where the frame leaves the photo the page will be white: that part is hatched in orange, with a
// warning sign in the frame's top corner, so the photographer sees it before validating.
void CropCanvas::drawBeyondMark(QPainter& painter, const CropCanvasLayout& layout) const
{
    const QRectF frame = layout.crop;
    const QPainterPath beyond = Geometry::beyondArea(layout, m_model.angle());
    QColor orange = Theme::orange(true);
    orange.setAlpha(150);
    painter.save();
    painter.fillPath(beyond, QBrush(orange, Qt::BDiagPattern));
    orange.setAlpha(60);
    painter.fillPath(beyond, orange);
    painter.restore();

    // Under the middle of the top edge, clear of the corner's rotation mark.
    const QRectF sign(frame.center().x() - 11, frame.top() + 12, 22, 22);
    if (frame.width() > 80 && frame.height() > 60)
        m_warningIcon.paint(&painter, sign.toAlignedRect());
}

void CropCanvas::drawFrame(QPainter& painter, const QRectF& frame) const
{
    const QColor light(255, 255, 255, 235), shadow(0, 0, 0, 110);
    // A dark outline under the white line keeps the frame visible on bright photos.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(shadow, 3));
    painter.drawRect(frame);
    painter.setPen(QPen(light, 1.5));
    painter.drawRect(frame);

    // Thirds while a gesture is active, to place the rider.
    if (m_model.activeHandle()) {
        painter.setPen(QPen(QColor(255, 255, 255, 90), 1));
        for (int i = 1; i < 3; ++i) {
            const double x = frame.left() + frame.width() * i / 3, y = frame.top() + frame.height() * i / 3;
            painter.drawLine(QPointF(x, frame.top()), QPointF(x, frame.bottom()));
            painter.drawLine(QPointF(frame.left(), y), QPointF(frame.right(), y));
        }
    }

    // Corner handles as brackets, side handles as short bars on each side's middle.
    const QPainterPath handles = Geometry::handleMarks(frame);
    painter.setPen(QPen(shadow, 6, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawPath(handles);
    painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawPath(handles);

    // The four rotation zones, drawn only where the frame leaves them room.
    if (frame.width() < 4 * Geometry::rotationZoneInset || frame.height() < 4 * Geometry::rotationZoneInset) return;
    const std::array<QPointF, 4> zones = Geometry::rotationZones(frame);
    const bool rotating = m_model.activeHandle() && m_model.activeHandle()->kind == CropHandle::Kind::rotate;
    for (const QPointF& zone : zones) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(rotating ? palette().color(QPalette::Highlight) : QColor(0, 0, 0, 120));
        painter.drawEllipse(zone, rotationZoneDrawnRadius, rotationZoneDrawnRadius);
        const QRectF icon(zone - QPointF(7, 7), QSizeF(14, 14));
        m_rotateIcon.paint(&painter, icon.toAlignedRect());
    }
}

const QPixmap& CropCanvas::scaledPreview(QSizeF drawnSize)
{
    const QImage& preview = m_model.preview();
    const QSize pixels = (drawnSize * devicePixelRatioF()).toSize().expandedTo(QSize(1, 1));
    if (m_scaledFrom != preview.cacheKey() || m_scaled.size() != pixels) {
        m_scaled = QPixmap::fromImage(preview.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        m_scaled.setDevicePixelRatio(devicePixelRatioF());
        m_scaledFrom = preview.cacheKey();
    }
    return m_scaled;
}

void CropCanvas::mousePressEvent(QMouseEvent* event)
{
    // Every press is ours: a drag on the canvas acts on the frame, never on the window.
    event->accept();
    if (event->button() != Qt::LeftButton || !hasPhoto()) return;
    setFocus(Qt::MouseFocusReason);
    m_pressPoint = event->position();
    m_gestureBegun = false;
}

void CropCanvas::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    if (!m_pressPoint || !(event->buttons() & Qt::LeftButton)) {
        updateHoverCursor(event->position());
        return;
    }
    if (!hasPhoto()) return;
    if (!m_gestureBegun) {
        // The hit-test uses the frame as it was under the press, before anything moved.
        const CropCanvasLayout layout = currentLayout();
        m_model.beginGesture(*m_pressPoint, layout);
        m_gestureScale = layout.scale;
        m_gestureBegun = true;
    }
    m_model.applyGesture(event->position() - *m_pressPoint, m_gestureScale);
}

void CropCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton || !m_pressPoint) return;
    const bool begun = m_gestureBegun;
    m_pressPoint.reset();
    m_gestureBegun = false;
    if (begun) m_model.finishGesture();
    updateHoverCursor(event->position());
}

void CropCanvas::keyPressEvent(QKeyEvent* event)
{
    const double step = (event->modifiers() & Qt::ShiftModifier) ? 10 : 1;
    double dx = 0, dy = 0;
    switch (event->key()) {
    case Qt::Key_Left: dx = -step; break;
    case Qt::Key_Right: dx = step; break;
    case Qt::Key_Up: dy = -step; break;
    case Qt::Key_Down: dy = step; break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
    if (!hasPhoto() || m_pressPoint || m_model.fullImageSize().isEmpty()) return;
    // The step is one pixel of the photo itself, finer than a pixel of the working copy.
    const double perPhotoPixel = Geometry::workingPixelsPerPhotoPixel(m_model.imageSize(), m_model.fullImageSize());
    m_model.nudge(dx * perPhotoPixel, dy * perPhotoPixel);
}

void CropCanvas::leaveEvent(QEvent* event)
{
    if (!m_pressPoint) unsetCursor();
    QWidget::leaveEvent(event);
}

bool CropCanvas::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = hasPhoto() ? helpText(m_model.hitTest(help->pos(), QSizeF(size()))) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

void CropCanvas::updateHoverCursor(QPointF point)
{
    const CropCursor cursor = hasPhoto() ? m_model.cursorAt(point, QSizeF(size())) : CropCursor::arrow;
    setCursor(cursorShape(cursor));
}

} // namespace tavrin
