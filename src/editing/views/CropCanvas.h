#pragma once

#include "editing/CropEditorModel.h"

#include <QIcon>
#include <QPixmap>
#include <QWidget>

#include <optional>

namespace tavrin {

// The crop editor's drawing area: the working photo zoomed out until the whole frame shows, turned
// under the frame by the look's angle, the frame with its eight handles and four rotation zones,
// and the watermark standing on the frame's bottom edge. Presses and drags become the model's
// gestures; arrow keys nudge the frame by one photo pixel, ten with Shift. Keeps no editing
// state of its own beyond the drag in progress.
class CropCanvas : public QWidget {
    Q_OBJECT

public:
    explicit CropCanvas(CropEditorModel& model, QWidget* parent = nullptr);

    // Where the photo and the frame sit at the canvas' current size.
    CropCanvasLayout currentLayout() const;
    // The Qt cursor of each pointer shape the model names.
    static Qt::CursorShape cursorShape(CropCursor cursor);
    // Help text shown while hovering a handle; empty elsewhere.
    static QString helpText(const std::optional<CropHandle>& handle);

    QSize sizeHint() const override { return {520, 380}; }
    QSize minimumSizeHint() const override { return {200, 160}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool hasPhoto() const;
    void updateHoverCursor(QPointF point);
    void drawFrame(QPainter& painter, const QRectF& frame) const;
    void drawBeyondMark(QPainter& painter, const CropCanvasLayout& layout) const;
    // The preview scaled once to the size it is drawn at, so that drags repaint quickly.
    const QPixmap& scaledPreview(QSizeF drawnSize);

    CropEditorModel& m_model;
    // The drag in progress: where it was pressed, whether the model has begun the gesture, and
    // the layout's scale when it did (kept for the whole drag so the frame follows the pointer
    // steadily even when the view zooms out under it).
    std::optional<QPointF> m_pressPoint;
    bool m_gestureBegun = false;
    double m_gestureScale = 1;

    QIcon m_rotateIcon;
    QIcon m_warningIcon;
    QPixmap m_scaled;
    qint64 m_scaledFrom = 0;
};

} // namespace tavrin
