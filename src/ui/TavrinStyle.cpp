#include "ui/TavrinStyle.h"

#include "ui/Theme.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOptionSlider>
#include <QTableView>
#include <QTreeView>

namespace tavrin {

namespace {

bool isDarkPalette(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

QColor blended(const QColor& base, const QColor& over, qreal amount)
{
    return QColor::fromRgbF(base.redF() + (over.redF() - base.redF()) * amount,
                            base.greenF() + (over.greenF() - base.greenF()) * amount,
                            base.blueF() + (over.blueF() - base.blueF()) * amount, base.alphaF());
}

bool iconOnly(CapsuleKind kind)
{
    return kind == CapsuleKind::icon || kind == CapsuleKind::tinyIcon || kind == CapsuleKind::fusedIcon;
}

void drawChevronDown(QPainter* p, const QPointF& centre, const QColor& colour)
{
    p->save();
    p->setPen(QPen(colour, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p->setBrush(Qt::NoBrush);
    p->drawPolyline(QPolygonF{centre + QPointF(-3.5, -1.75), centre + QPointF(0, 1.75), centre + QPointF(3.5, -1.75)});
    p->restore();
}

} // namespace

TavrinStyle::TavrinStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void TavrinStyle::drawCapsule(const StyleOptionCapsule& opt, QPainter* p) const
{
    const QPalette& pal = opt.palette;
    const bool dark = isDarkPalette(pal);
    const bool enabled = opt.state & State_Enabled;
    const bool hover = enabled && (opt.state & State_MouseOver);
    const bool pressed = enabled && (opt.state & State_Sunken);
    const bool checked = opt.state & State_On;
    const QColor text = pal.color(QPalette::WindowText);
    const QRectF r = QRectF(opt.rect).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = r.height() / 2;

    QColor fill = Qt::transparent;
    QColor border = Qt::transparent;
    switch (opt.kind) {
    case CapsuleKind::prominent:
        fill = pal.color(QPalette::Highlight);
        if (pressed) fill = fill.darker(115);
        else if (hover) fill = fill.lighter(108);
        if (!enabled) fill.setAlphaF(0.4);
        break;
    case CapsuleKind::glass:
    case CapsuleKind::icon:
        fill = pal.color(QPalette::Button);
        if (pressed) fill = blended(fill, text, 0.10);
        else if (hover) fill = blended(fill, text, 0.05);
        border = Theme::divider(pal);
        // A toggle that is on (following the photos) reads so at a glance.
        if (checked) {
            fill = blended(fill, Theme::accent(dark), enabled ? 0.22 : 0.10);
            border = Theme::accent(dark);
        }
        break;
    case CapsuleKind::tinyIcon:
        if (pressed || hover) fill = Theme::capsuleFill(pal);
        if (pressed) fill.setAlphaF(fill.alphaF() * 2);
        break;
    case CapsuleKind::fused:
    case CapsuleKind::fusedIcon:
        if (checked) {
            fill = dark ? blended(pal.color(QPalette::Button), text, 0.12) : pal.color(QPalette::Base);
            border = Theme::divider(pal);
        } else if (pressed || hover) {
            fill = Theme::capsuleFill(pal);
        }
        break;
    }

    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    if (fill.alpha() > 0 || border.alpha() > 0) {
        p->setPen(border.alpha() > 0 ? QPen(border, 1) : Qt::NoPen);
        p->setBrush(fill);
        p->drawRoundedRect(r, radius, radius);
    }
    if ((opt.state & State_HasFocus) && (opt.state & State_KeyboardFocusChange)) {
        p->setPen(QPen(Theme::accent(dark), 2));
        p->setBrush(Qt::NoBrush);
        p->drawRoundedRect(r.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
    }

    QColor foreground = opt.kind == CapsuleKind::prominent ? pal.color(QPalette::HighlightedText)
                                                           : pal.color(enabled ? QPalette::Active : QPalette::Disabled,
                                                                       QPalette::ButtonText);
    if (opt.kind == CapsuleKind::prominent && !enabled) foreground.setAlphaF(0.7);
    const QIcon::Mode iconMode = !enabled                                ? QIcon::Disabled
                                 : opt.kind == CapsuleKind::prominent ? QIcon::Selected
                                                                      : QIcon::Normal;
    const QIcon::State iconState = checked ? QIcon::On : QIcon::Off;
    const QSize iconSize = opt.iconSize.isValid() ? opt.iconSize : QSize(16, 16);

    if (iconOnly(opt.kind)) {
        const QRect iconRect(opt.rect.center() - QPoint(iconSize.width() / 2, iconSize.height() / 2) + QPoint(1, 1), iconSize);
        opt.icon.paint(p, iconRect, Qt::AlignCenter, iconMode, iconState);
        p->restore();
        return;
    }

    const bool hasIcon = !opt.icon.isNull();
    const int gap = 6;
    const int chevron = opt.showsMenuIndicator ? 13 : 0;
    const int padding = opt.kind == CapsuleKind::fused ? 12 : 14;
    const int available = opt.rect.width() - 2 * padding - (hasIcon ? iconSize.width() + gap : 0) - chevron;
    const QString label = opt.fontMetrics.elidedText(opt.text, Qt::ElideRight, std::max(0, available));
    const int textWidth = opt.fontMetrics.horizontalAdvance(label);
    const int contentWidth = (hasIcon ? iconSize.width() + gap : 0) + textWidth + chevron;
    int x = opt.rect.left() + (opt.rect.width() - contentWidth) / 2;
    const int midY = opt.rect.top() + opt.rect.height() / 2;
    if (hasIcon) {
        opt.icon.paint(p, QRect(QPoint(x, midY - iconSize.height() / 2), iconSize), Qt::AlignCenter, iconMode, iconState);
        x += iconSize.width() + gap;
    }
    p->setPen(foreground);
    p->drawText(QRect(x, opt.rect.top(), textWidth + 1, opt.rect.height()), Qt::AlignVCenter | Qt::AlignLeft, label);
    if (opt.showsMenuIndicator) drawChevronDown(p, QPointF(x + textWidth + 8.5, midY + 0.5), foreground);
    p->restore();
}

void TavrinStyle::drawFineLineSlider(const QStyleOptionSlider& opt, QPainter* p, const QWidget* widget) const
{
    const QRect groove = subControlRect(CC_Slider, &opt, SC_SliderGroove, widget);
    const QRect handle = subControlRect(CC_Slider, &opt, SC_SliderHandle, widget);
    const bool horizontal = opt.orientation == Qt::Horizontal;
    const int handleLength = horizontal ? handle.width() : handle.height();
    const int span = (horizontal ? groove.width() : groove.height()) - handleLength;
    const int neutral = widget ? widget->property("neutralValue").toInt() : opt.minimum;
    auto position = [&](int value) {
        const int offset = QStyle::sliderPositionFromValue(opt.minimum, opt.maximum, value, span, opt.upsideDown);
        return (horizontal ? groove.left() : groove.top()) + handleLength / 2 + offset;
    };
    const QPalette& pal = opt.palette;
    const bool enabled = opt.state & State_Enabled;
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(groove).center();
    QLineF track = horizontal ? QLineF(groove.left() + 2, centre.y(), groove.right() - 2, centre.y())
                              : QLineF(centre.x(), groove.top() + 2, centre.x(), groove.bottom() - 2);
    p->setPen(QPen(Theme::divider(pal), 2, Qt::SolidLine, Qt::RoundCap));
    p->drawLine(track);
    const int from = position(neutral), to = position(opt.sliderPosition);
    QColor accent = pal.color(QPalette::Highlight);
    if (!enabled) accent.setAlphaF(0.4);
    p->setPen(QPen(accent, 2, Qt::SolidLine, Qt::RoundCap));
    p->drawLine(horizontal ? QLineF(from, centre.y(), to, centre.y()) : QLineF(centre.x(), from, centre.x(), to));
    const qreal diameter = std::min(handle.width(), handle.height()) - 2;
    const QPointF knob = horizontal ? QPointF(to, centre.y()) : QPointF(centre.x(), to);
    p->setPen(QPen(Theme::divider(pal), 1));
    p->setBrush(isDarkPalette(pal) ? pal.color(QPalette::Light) : pal.color(QPalette::Base));
    p->drawEllipse(knob, diameter / 2, diameter / 2);
    p->restore();
}

void TavrinStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                              const QWidget* widget) const
{
    if (element == CE_Capsule) {
        if (const auto* capsule = qstyleoption_cast<const StyleOptionCapsule*>(option)) drawCapsule(*capsule, painter);
        return;
    }
    switch (element) {
    case CE_HeaderSection: {
        const QPalette& pal = option->palette;
        painter->fillRect(option->rect, pal.color(QPalette::Base));
        painter->save();
        painter->setPen(Theme::divider(pal));
        const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option);
        const bool vertical = header && header->orientation == Qt::Vertical;
        const QRect r = option->rect;
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        // Row numbers share one continuous edge; column titles are split by short dividers.
        if (vertical) painter->drawLine(r.topRight(), r.bottomRight());
        else painter->drawLine(r.topRight() + QPoint(0, 4), r.bottomRight() - QPoint(0, 4));
        painter->restore();
        return;
    }
    case CE_HeaderEmptyArea:
        painter->fillRect(option->rect, option->palette.color(QPalette::Base));
        painter->save();
        painter->setPen(Theme::divider(option->palette));
        painter->drawLine(option->rect.bottomLeft(), option->rect.bottomRight());
        painter->restore();
        return;
    case CE_Splitter: {
        painter->save();
        painter->setPen(Theme::divider(option->palette));
        const QRect r = option->rect;
        if (option->state & State_Horizontal) painter->drawLine(r.center().x(), r.top(), r.center().x(), r.bottom());
        else painter->drawLine(r.left(), r.center().y(), r.right(), r.center().y());
        painter->restore();
        return;
    }
    default:
        QProxyStyle::drawControl(element, option, painter, widget);
    }
}

void TavrinStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                const QWidget* widget) const
{
    if (element == PE_FusedGroupTrack) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(Theme::capsuleFill(option->palette));
        const QRectF r(option->rect);
        painter->drawRoundedRect(r, r.height() / 2, r.height() / 2);
        painter->restore();
        return;
    }
    if (element == PE_FusedDivider) {
        painter->save();
        painter->setPen(QPen(Theme::divider(option->palette), 1));
        const QRect r = option->rect;
        const int inset = r.height() / 4;
        painter->drawLine(r.center().x(), r.top() + inset, r.center().x(), r.bottom() - inset);
        painter->restore();
        return;
    }
    if (element == PE_IndicatorCheckBox || element == PE_IndicatorItemViewItemCheck) {
        drawCheckBox(*option, painter);
        return;
    }
    // The sidebar and the rows table paint their own selection; Fusion's band would cover it.
    if (element == PE_PanelItemViewRow && (qobject_cast<const QTreeView*>(widget) || qobject_cast<const QTableView*>(widget)))
        return;
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

// Fusion outlines the box with a darker shade of the window, which vanishes on the dark
// background: the box is outlined with the text colour instead and filled with the accent once
// ticked, so that it reads the same in both appearances.
void TavrinStyle::drawCheckBox(const QStyleOption& option, QPainter* painter) const
{
    const QPalette& pal = option.palette;
    const bool enabled = option.state & State_Enabled;
    const bool on = option.state & State_On;
    const bool partial = option.state & State_NoChange;
    const int side = std::min(option.rect.width(), option.rect.height()) - 2;
    const QRectF box(QPointF(option.rect.center()) - QPointF(side / 2.0 - 0.5, side / 2.0 - 0.5), QSizeF(side - 1, side - 1));
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (on || partial) {
        QColor fill = pal.color(QPalette::Highlight);
        if (!enabled) fill = blended(pal.color(QPalette::Base), pal.color(QPalette::Text), 0.3);
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(box, 3, 3);
        painter->setPen(QPen(pal.color(QPalette::HighlightedText), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter->setBrush(Qt::NoBrush);
        const double w = box.width(), h = box.height();
        if (partial && !on)
            painter->drawLine(box.topLeft() + QPointF(w * 0.25, h / 2), box.topLeft() + QPointF(w * 0.75, h / 2));
        else
            painter->drawPolyline(QPolygonF{box.topLeft() + QPointF(w * 0.24, h * 0.52), box.topLeft() + QPointF(w * 0.43, h * 0.72),
                                            box.topLeft() + QPointF(w * 0.77, h * 0.30)});
    } else {
        const QColor text = pal.color(QPalette::Text);
        painter->setPen(QPen(blended(pal.color(QPalette::Base), text, enabled ? (isDarkPalette(pal) ? 0.55 : 0.4) : 0.2), 1));
        painter->setBrush(pal.color(QPalette::Base));
        painter->drawRoundedRect(box, 3, 3);
    }
    painter->restore();
}

void TavrinStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                     const QWidget* widget) const
{
    if (control == CC_Slider && widget && widget->property("neutralValue").isValid()) {
        if (const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option)) {
            drawFineLineSlider(*slider, painter, widget);
            return;
        }
    }
    QProxyStyle::drawComplexControl(control, option, painter, widget);
}

int TavrinStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    switch (metric) {
    case PM_SplitterWidth:
        return 5;
    case PM_SmallIconSize:
    case PM_ButtonIconSize:
        return 16;
    case PM_HeaderMargin:
        // Column titles line up with the cells' text; row numbers stay dense.
        if (const auto* header = qobject_cast<const QHeaderView*>(widget); header && header->orientation() == Qt::Horizontal)
            return 7;
        break;
    case PM_FocusFrameHMargin:
        // Cell text of tables a little away from the grid.
        if (qobject_cast<const QTableView*>(widget)) return 6;
        break;
    default:
        break;
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}

int TavrinStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                           QStyleHintReturn* returnData) const
{
    if (hint == SH_Table_GridLineColor && option) return int(Theme::divider(option->palette).rgba());
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void TavrinStyle::polish(QWidget* widget)
{
    QProxyStyle::polish(widget);
    if (qobject_cast<QAbstractButton*>(widget)) widget->setAttribute(Qt::WA_Hover);
}

} // namespace tavrin
