#include "sync/views/NearbyDevicePicker.h"

#include "sync/DevicePickerModel.h"
#include "sync/SyncService.h"
#include "sync/views/DeviceSyncPanel.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QFrame>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace tavrin {

namespace {
constexpr int kPadding = 12;
constexpr int kIcon = 16;
} // namespace

NearbyDevicePicker::NearbyDevicePicker(SyncService& service, QWidget* parent)
    : CapsuleButton(CapsuleKind::glass, parent), m_service(service)
{
    setToolTip(QStringLiteral("Choisir un ou plusieurs appareils à synchroniser."));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    m_popover = new QFrame(this, Qt::Popup);
    m_popover->setObjectName(QStringLiteral("deviceSyncPopover"));
    m_popover->setFrameShape(QFrame::StyledPanel);
    // The click that closes the popover must not reopen it through the button.
    m_popover->setAttribute(Qt::WA_NoMouseReplay);
    auto* layout = new QVBoxLayout(m_popover);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new DeviceSyncPanel(m_service, m_popover));

    connect(this, &CapsuleButton::clicked, this, [this] { setShowPanel(!showPanel()); });
    connect(&m_service, &SyncService::changed, this, &NearbyDevicePicker::refresh);
    refresh();
}

bool NearbyDevicePicker::showPanel() const { return m_popover->isVisible(); }

QWidget* NearbyDevicePicker::panel() const { return m_popover; }

void NearbyDevicePicker::setShowPanel(bool shown)
{
    if (!shown) {
        m_popover->hide();
        return;
    }
    m_popover->adjustSize();
    // Opens upwards from the sidebar's foot, inside the screen.
    QPoint at = mapToGlobal(QPoint(0, -m_popover->height() - Theme::smallSpacing));
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - m_popover->width())));
        if (at.y() < area.top()) at.setY(mapToGlobal(QPoint(0, height() + Theme::smallSpacing)).y());
    }
    m_popover->move(at);
    m_popover->show();
}

void NearbyDevicePicker::refresh()
{
    setText(DevicePickerModel::labelTitle(m_service));
    setSymbol(DevicePickerModel::pickerSymbol(m_service));
    setAccessibleName(text());
    updateGeometry();
    update();
}

QSize NearbyDevicePicker::sizeHint() const
{
    return {2 * kPadding + 2 * (kIcon + Theme::spacing) + fontMetrics().horizontalAdvance(text()) + 2, Theme::controlHeight};
}

void NearbyDevicePicker::paintEvent(QPaintEvent*)
{
    // The capsule with the device symbol and label, and the up-down chevron at its end.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill = Theme::capsuleFill(palette());
    if (isDown() || showPanel()) fill.setAlphaF(std::min(1.0f, fill.alphaF() * 2.0f));
    else if (underMouse()) fill.setAlphaF(std::min(1.0f, fill.alphaF() * 1.5f));
    p.setPen(hasFocus() ? QPen(palette().color(QPalette::Highlight), 1.5) : Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);

    const int midY = height() / 2;
    icon().paint(&p, QRect(kPadding, midY - kIcon / 2, kIcon, kIcon));
    const QRect chevron(width() - kPadding - kIcon, midY - kIcon / 2, kIcon, kIcon);
    Symbols::icon(QStringLiteral("chevron.up.chevron.down")).paint(&p, chevron);
    const QRect textRect(kPadding + kIcon + Theme::spacing, 0, chevron.left() - Theme::spacing - (kPadding + kIcon + Theme::spacing), height());
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, fontMetrics().elidedText(text(), Qt::ElideRight, textRect.width()));
}

} // namespace tavrin
