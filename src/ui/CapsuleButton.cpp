#include "ui/CapsuleButton.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QEvent>
#include <QMenu>
#include <QHelpEvent>
#include <QStylePainter>
#include <QToolTip>

namespace tavrin {

namespace {

bool showsTextAsHelp(CapsuleKind kind)
{
    return kind == CapsuleKind::icon || kind == CapsuleKind::tinyIcon || kind == CapsuleKind::fusedIcon;
}

} // namespace

CapsuleButton::CapsuleButton(Kind kind, QWidget* parent) : QToolButton(parent), m_kind(kind)
{
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::ArrowCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setIconSize(kind == Kind::tinyIcon ? QSize(14, 14) : QSize(16, 16));
}

CapsuleButton::CapsuleButton(Kind kind, const QString& text, const QString& symbol, QWidget* parent)
    : CapsuleButton(kind, parent)
{
    setText(text);
    if (!symbol.isEmpty()) setSymbol(symbol);
}

void CapsuleButton::setKind(Kind kind)
{
    if (kind == m_kind) return;
    m_kind = kind;
    setIconSize(kind == Kind::tinyIcon ? QSize(14, 14) : QSize(16, 16));
    updateGeometry();
    update();
}

int CapsuleButton::labelledWidth() const
{
    ensurePolished();
    const int padding = m_kind == Kind::fused ? 12 : 14;
    // Two pixels of slack: text advances are fractional and must never be elided at rest.
    int width = 2 * padding + fontMetrics().horizontalAdvance(text()) + 2;
    if (!icon().isNull()) width += iconSize().width() + 6;
    if (menu()) width += 13;
    return width;
}

void CapsuleButton::setSymbol(const QString& symbol) { setIcon(Symbols::icon(symbol)); }

bool CapsuleButton::event(QEvent* event)
{
    // Icon-only capsules still say what they do.
    if (event->type() == QEvent::ToolTip && showsTextAsHelp(m_kind) && toolTip().isEmpty()) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
        return true;
    }
    return QToolButton::event(event);
}

void CapsuleButton::initStyleOption(StyleOptionCapsule* option) const
{
    option->initFrom(this);
    option->kind = m_kind;
    option->text = text();
    option->icon = icon();
    option->iconSize = iconSize();
    option->showsMenuIndicator = menu() && !showsTextAsHelp(m_kind);
    if (isChecked()) option->state |= QStyle::State_On;
    if (isDown()) option->state |= QStyle::State_Sunken;
}

void CapsuleButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    StyleOptionCapsule option;
    initStyleOption(&option);
    painter.drawControl(TavrinStyle::CE_Capsule, option);
}

QSize CapsuleButton::sizeHint() const
{
    switch (m_kind) {
    case Kind::icon:
        return {Theme::controlHeight, Theme::controlHeight};
    case Kind::tinyIcon:
        return {Theme::tinyControlHeight, Theme::tinyControlHeight};
    case Kind::fusedIcon:
        return {Theme::controlHeight + 8, Theme::controlHeight};
    default:
        break;
    }
    return {labelledWidth(), Theme::controlHeight};
}

QSize CapsuleButton::minimumSizeHint() const { return sizeHint(); }

CapsuleMenu::CapsuleMenu(Kind kind, const QString& text, const QString& symbol, QWidget* parent)
    : CapsuleButton(kind, text, symbol, parent)
{
    setMenu(new QMenu(this));
    setPopupMode(QToolButton::InstantPopup);
}

} // namespace tavrin
