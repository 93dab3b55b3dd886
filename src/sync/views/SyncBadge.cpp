#include "sync/views/SyncBadge.h"

#include "sync/DevicePickerModel.h"
#include "sync/SyncService.h"
#include "ui/Theme.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace tavrin {

namespace {
constexpr int kDot = 8;
constexpr int kPadding = 12;
} // namespace

SyncBadge::SyncBadge(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
    refresh();
}

void SyncBadge::setStatus(const SyncStatus& status)
{
    m_status = status;
    refresh();
}

void SyncBadge::setTitle(const std::optional<QString>& title)
{
    m_title = title;
    refresh();
}

void SyncBadge::follow(SyncService& service)
{
    const auto update = [this, &service] {
        m_status = service.status();
        m_title = service.statusTitle();
        refresh();
    };
    connect(&service, &SyncService::changed, this, update);
    onRetry = [&service] { service.restart(); };
    update();
}

QString SyncBadge::text() const { return m_title.value_or(m_status.title()); }

void SyncBadge::refresh()
{
    setToolTip(DevicePickerModel::badgeHelp(m_status, text()));
    setAccessibleName(text());
    updateGeometry();
    update();
}

QSize SyncBadge::sizeHint() const
{
    return {2 * kPadding + kDot + Theme::spacing + fontMetrics().horizontalAdvance(text()) + 2, Theme::tinyControlHeight + 2};
}

void SyncBadge::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill = Theme::capsuleFill(palette());
    if (underMouse()) fill.setAlphaF(std::min(1.0f, fill.alphaF() * 1.6f));
    p.setPen(hasFocus() ? QPen(palette().color(QPalette::Highlight), 1.5) : Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);

    const bool dark = Theme::isDark();
    QColor dot;
    switch (m_status.kind) {
    case SyncStatus::Kind::synced: dot = Theme::green(dark); break;
    case SyncStatus::Kind::connecting: dot = Theme::orange(dark); break;
    case SyncStatus::Kind::failed: dot = Theme::red(dark); break;
    case SyncStatus::Kind::searching: dot = Theme::accent(dark); break;
    case SyncStatus::Kind::idle: dot = Theme::secondaryText(palette()); break;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(dot);
    p.drawEllipse(QPointF(kPadding + kDot / 2.0, height() / 2.0), kDot / 2.0, kDot / 2.0);

    p.setPen(palette().color(QPalette::WindowText));
    const QRect textRect = rect().adjusted(kPadding + kDot + Theme::spacing, 0, -kPadding, 0);
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, fontMetrics().elidedText(text(), Qt::ElideRight, textRect.width()));
}

void SyncBadge::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onRetry) onRetry();
}

void SyncBadge::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && onRetry) {
        onRetry();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace tavrin
